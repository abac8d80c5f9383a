#include "partialchunks.h"

#include "launcher/documents/packagecheck.h"

#include "shared/checkedfile.h"
#include "shared/checkedfileio.h"
#include "shared/confinedfolder.h"

#include <QDebug>

#include <stdexcept>

namespace velmar::launcher {

TPartialChunks::TPartialChunks(std::shared_ptr<shared::TConfinedFolder> pFolder) : m_pFolder(std::move(pFolder))
{
}

QString TPartialChunks::fileOf(const TChunkRecord& oChunk)
{
    return partialChunksFolder() + QLatin1Char('/') + oChunk.packedHash().toHex();
}

QHash<shared::TSha256Digest, shared::TFileSize> TPartialChunks::sweep(const std::vector<TChunkRecord>& lChunks) const
{
    QHash<shared::TSha256Digest, shared::TFileSize> hKept;
    const QString sFolder = partialChunksFolder();
    if (!m_pFolder || m_pFolder->status(sFolder).m_eEntry == shared::TConfinedFolder::EEntry::Missing)
        return hKept;
    QHash<QString, const TChunkRecord*> hWanted;
    for (const TChunkRecord& oChunk : lChunks) {
        if (canKeep(oChunk))
            hWanted.insert(oChunk.packedHash().toHex(), &oChunk);
    }
    try {
        if (m_pFolder->status(sFolder).m_eEntry != shared::TConfinedFolder::EEntry::Folder) {
            m_pFolder->removePath(sFolder);
            return hKept;
        }
        for (const QString& sName : m_pFolder->entries(sFolder)) {
            const QString sFile = sFolder + QLatin1Char('/') + sName;
            const TChunkRecord* pChunk = hWanted.value(sName);
            const shared::TConfinedFolder::TStatus oStatus = m_pFolder->status(sFile);
            // A chunk this run does not fetch, or bytes that cannot begin it.
            if (!pChunk || oStatus.m_eEntry != shared::TConfinedFolder::EEntry::File || oStatus.m_nSize == 0
                || oStatus.m_nSize >= pChunk->packedSize()) {
                m_pFolder->removePath(sFile);
                continue;
            }
            hKept.insert(pChunk->packedHash(), oStatus.m_nSize);
        }
    } catch (const std::exception& oError) {
        // Kept bytes only save time: without them every chunk is fetched whole.
        qWarning() << "The partly received chunks could not be sorted out:" << oError.what();
        hKept.clear();
    }
    return hKept;
}

bool TPartialChunks::keep(const TChunkRecord& oChunk, shared::TFileSize nOffset, const QByteArray& aBytes) const
{
    if (!m_pFolder || !canKeep(oChunk))
        return false;
    const QString sFile = fileOf(oChunk);
    try {
        m_pFolder->createFolders(partialChunksFolder());
        shared::TCheckedFile oFile;
        if (!oFile.open(*m_pFolder, sFile, QIODevice::ReadWrite))
            throw std::runtime_error(QStringLiteral("Cannot open %1: %2").arg(m_pFolder->filePath(sFile), oFile.errorString()).toStdString());
        shared::resizeFile(oFile, nOffset);
        shared::writeAllAt(oFile, nOffset, aBytes);
        return true;
    } catch (const std::exception& oError) {
        qWarning() << "The bytes received of" << oChunk.url() << "could not be kept:" << oError.what();
        drop(oChunk);
        return false;
    }
}

QByteArray TPartialChunks::read(const TChunkRecord& oChunk, shared::TFileSize nSize) const
{
    const QString sFile = fileOf(oChunk);
    shared::TCheckedFile oFile;
    if (!m_pFolder || !oFile.open(*m_pFolder, sFile, QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("The kept bytes of %1 cannot be read.").arg(oChunk.url().toString()).toStdString());
    return shared::readExactlyAt(oFile, 0, nSize);
}

void TPartialChunks::drop(const TChunkRecord& oChunk) const
{
    if (!m_pFolder || !canKeep(oChunk))
        return;
    try {
        m_pFolder->removePath(fileOf(oChunk));
    } catch (const std::exception& oError) {
        qWarning() << "The kept bytes of" << oChunk.url() << "could not be deleted:" << oError.what();
    }
}

void TPartialChunks::dropAll() const
{
    if (!m_pFolder)
        return;
    try {
        m_pFolder->removePath(partialChunksFolder());
    } catch (const std::exception& oError) {
        qWarning() << "The partly received chunks could not be deleted:" << oError.what();
    }
}

} // namespace velmar::launcher
