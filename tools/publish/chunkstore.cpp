#include "chunkstore.h"

#include "shared/decompressionerror.h"
#include "shared/packeddata.h"
#include "shared/sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <stdexcept>

namespace {

// A sound chunk file is never much larger than its bytes: the largest chunk
// plus the header of a stored one.
constexpr qint64 kLargestChunkFile = (qint64(1) << 24) + 64 * 1024;

std::runtime_error writeError(const QString& sPath, const QString& sReason)
{
    return std::runtime_error(
        QStringLiteral("Cannot write the chunk file '%1': %2").arg(QDir::toNativeSeparators(sPath), sReason).toStdString());
}

} // namespace

TChunkStore::TChunkStore(const QString& sOutputFolder, shared::EPackMethod eMethod, int nLevel)
    : m_sOutputFolder(sOutputFolder), m_eMethod(eMethod), m_nLevel(nLevel), m_sSuffix(shared::packMethodName(eMethod))
{
}

QString TChunkStore::relativeUrl(const QByteArray& aUnpackedHash) const
{
    const QString sHex = QString::fromLatin1(aUnpackedHash.toHex());
    return QStringLiteral("chunks/%1/%2.%3").arg(sHex.left(2), sHex, m_sSuffix);
}

TChunkStore::TStoredChunk TChunkStore::store(const QByteArray& aBytes, const QByteArray& aUnpackedHash)
{
    const QString sUrl = relativeUrl(aUnpackedHash);
    const QString sPath = m_sOutputFolder + QLatin1Char('/') + sUrl;
    TStoredChunk oResult;
    const bool bExists = QFileInfo::exists(sPath);
    if (bExists && existingFileIsSound(sPath, aBytes, oResult))
        return oResult;

    const QByteArray aPacked = packed(aBytes);
    // The packer is checked on every chunk: a chunk that would not unpack to its
    // bytes on a player's machine must never reach the CDN.
    QByteArray aUnpacked;
    try {
        aUnpacked = shared::unpackStrict(aPacked);
    } catch (const shared::TDecompressionError&) {
    }
    if (aUnpacked != aBytes) {
        throw std::runtime_error(
            QStringLiteral("Packing with the method '%1' produced data that does not unpack to the chunk %2.")
                .arg(m_sSuffix, QString::fromLatin1(aUnpackedHash.toHex()))
                .toStdString());
    }

    createFolder(QFileInfo(sPath).path());
    QSaveFile oFile(sPath);
    if (!oFile.open(QIODevice::WriteOnly))
        throw writeError(sPath, oFile.errorString());
    if (oFile.write(aPacked) != aPacked.size())
        throw writeError(sPath, oFile.errorString());
    if (!oFile.commit())
        throw writeError(sPath, oFile.errorString());
    if (!bExists) {
        QMutexLocker oLock(&m_oMutex);
        m_lCreatedFiles << sPath;
    }
    oResult.nPackedSize = quint64(aPacked.size());
    oResult.aPackedHash = shared::TSha256::hash(aPacked);
    oResult.bWritten = true;
    oResult.bRepaired = bExists;
    return oResult;
}

void TChunkStore::rollBack()
{
    QMutexLocker oLock(&m_oMutex);
    for (const QString& sPath : qAsConst(m_lCreatedFiles))
        QFile::remove(sPath);
    m_lCreatedFiles.clear();
    // Deepest first, so that each folder is empty when its turn comes.
    std::sort(m_lCreatedFolders.begin(), m_lCreatedFolders.end(),
              [](const QString& sLeft, const QString& sRight) { return sLeft.size() > sRight.size(); });
    for (const QString& sPath : qAsConst(m_lCreatedFolders))
        QDir().rmdir(sPath);
    m_lCreatedFolders.clear();
}

QByteArray TChunkStore::packed(const QByteArray& aBytes) const
{
    QByteArray aPacked = shared::pack(aBytes, m_eMethod, m_nLevel);
    // Already compressed data (pictures, sound, video) grows a little under
    // most methods; then the plain bytes are the smaller download.
    if (m_eMethod != shared::EPackMethod::Store && aPacked.size() > aBytes.size()) {
        QByteArray aStored = shared::pack(aBytes, shared::EPackMethod::Store);
        if (aStored.size() < aPacked.size())
            aPacked.swap(aStored);
    }
    return aPacked;
}

void TChunkStore::createFolder(const QString& sPath)
{
    QMutexLocker oLock(&m_oMutex);
    // Each missing level is noted, so that a rollback removes exactly those.
    QStringList lMissing;
    for (QString sLevel = sPath; !QFileInfo::exists(sLevel); sLevel = QFileInfo(sLevel).path())
        lMissing.prepend(sLevel);
    for (const QString& sLevel : qAsConst(lMissing)) {
        // A folder that appeared meanwhile is someone else's, and no rollback's.
        if (QDir().mkdir(sLevel))
            m_lCreatedFolders << sLevel;
        else if (!QFileInfo(sLevel).isDir())
            throw writeError(sLevel, QStringLiteral("the folder cannot be created"));
    }
}

bool TChunkStore::existingFileIsSound(const QString& sPath, const QByteArray& aBytes, TStoredChunk& oResult) const
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly) || oFile.size() > kLargestChunkFile)
        return false;
    const QByteArray aPacked = oFile.readAll();
    if (oFile.error() != QFileDevice::NoError)
        return false;
    try {
        if (shared::unpackStrict(aPacked) != aBytes)
            return false;
    } catch (const shared::TDecompressionError&) {
        return false;
    }
    oResult.nPackedSize = quint64(aPacked.size());
    oResult.aPackedHash = shared::TSha256::hash(aPacked);
    return true;
}
