#include "chunkreuse.h"

#include "installlog.h"

#include "hashingchunker.h"
#include "interruption.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "scanprogress.h"

#include "shared/checkedfile.h"
#include "shared/checkedfileio.h"
#include "shared/confinedfolder.h"
#include "shared/ioerror.h"
#include "shared/sha256.h"

#include <QDebug>
#include <QHash>
#include <QThread>

#include <algorithm>

namespace velmar::launcher {

namespace {

enum EPlacement
{
    NotFound = 0,
    InPlace = 1,
    Elsewhere = 2,
};

struct TPlacement
{
    EPlacement m_eState = NotFound;
    shared::TFileSize m_nSourceOffset = 0;
    shared::TFileSize m_nTargetOffset = 0;
    shared::TFileSize m_nSize = 0;
    bool m_bInTemporaryFile = false;
};

// Matches the installed file's chunks, met in file order, against the records.
class TChunkMatcher
{
public:
    TChunkMatcher(const QString& sPath, const TFileToDownload& oFile)
        : m_sPath(sPath), m_oFile(oFile), m_lPlacements(oFile.m_lChunkRecords.size())
    {
        shared::TFileSize nOffset = 0;
        m_lTargetOffsets.reserve(oFile.m_lChunkRecords.size());
        for (size_t nRecord = 0; nRecord < oFile.m_lChunkRecords.size(); ++nRecord) {
            m_lTargetOffsets.push_back(nOffset);
            nOffset += oFile.m_lChunkRecords[nRecord].unpackedSize();
            m_hRecordsByHash[oFile.m_lChunkRecords[nRecord].unpackedHash()].push_back(nRecord);
        }
    }

    void match(const shared::TSha256Digest& oDigest, shared::TFileSize nLength)
    {
        const auto it = m_hRecordsByHash.constFind(oDigest);
        if (it != m_hRecordsByHash.constEnd()) {
            // One source chunk may serve several records with the same hash.
            for (const size_t nRecord : it.value()) {
                TPlacement& oPlacement = m_lPlacements[nRecord];
                const shared::TFileSize nTarget = m_lTargetOffsets[nRecord];
                if (oPlacement.m_eState == InPlace || (oPlacement.m_eState == Elsewhere && nTarget != m_nSourceOffset))
                    continue;
                m_bFound = true;
                if (nTarget == m_nSourceOffset) {
                    oPlacement.m_eState = InPlace;
                    qCInfo(lcInstallSteps) << "reuseable chunk on correct position found" << record(nRecord).url() << "file:" << m_sPath
                            << "offset:" << nTarget << "Thread:" << QThread::currentThreadId();
                } else {
                    oPlacement = {Elsewhere, m_nSourceOffset, nTarget, record(nRecord).unpackedSize(), false};
                    qCInfo(lcInstallSteps) << "reuseable chunk on wrong position found" << record(nRecord).url() << "file:" << m_sPath
                            << "source offset:" << m_nSourceOffset << "target offset:" << nTarget
                            << "Thread:" << QThread::currentThreadId();
                }
            }
        }
        m_nSourceOffset += nLength;
    }

    // Hashes the bytes at the own offset of every record still missing; those
    // that are there become InPlace. Records reaching past nSize are skipped.
    void matchMissingInPlace(QFileDevice& oFile, shared::TFileSize nSize, const TInterruption& oInterruption)
    {
        for (size_t nRecord = 0; nRecord < m_lPlacements.size(); ++nRecord) {
            const shared::TFileSize nTarget = m_lTargetOffsets[nRecord];
            const shared::TFileSize nEnd = nTarget + record(nRecord).unpackedSize();
            if (m_lPlacements[nRecord].m_eState != NotFound || nEnd > nSize)
                continue;
            oInterruption.check();
            shared::TSha256 oHash;
            shared::hashRange(oFile, nTarget, nEnd, oHash);
            if (record(nRecord).unpackedHash() != oHash.result())
                continue;
            m_lPlacements[nRecord].m_eState = InPlace;
            m_bFound = true;
            qCInfo(lcInstallSteps) << "reuseable chunk on correct position found" << record(nRecord).url() << "file:" << m_sPath
                                   << "offset:" << nTarget << "Thread:" << QThread::currentThreadId();
        }
    }

    bool found() const { return m_bFound; }
    std::vector<TPlacement>& placements() { return m_lPlacements; }

private:
    const TChunkRecord& record(size_t nRecord) const { return m_oFile.m_lChunkRecords[nRecord]; }

    const QString& m_sPath;
    const TFileToDownload& m_oFile;
    std::vector<TPlacement> m_lPlacements;
    std::vector<shared::TFileSize> m_lTargetOffsets;
    QHash<shared::TSha256Digest, std::vector<size_t>> m_hRecordsByHash;
    shared::TFileSize m_nSourceOffset = 0;
    bool m_bFound = false;
};

// The installed description of the file, when it can stand in for reading it.
const TFileDescription* trustedDescription(const TPackageConfigurationReader* pInstalled, const QString& sLocalFile,
                                           shared::TFileSize nSizeOnDisk)
{
    if (!pInstalled)
        return nullptr;
    const std::vector<TFileDescription>& lFiles = pInstalled->files();
    const auto it = std::lower_bound(lFiles.begin(), lFiles.end(), sLocalFile,
                                     [](const TFileDescription& oFile, const QString& sName) { return oFile.localFile() < sName; });
    if (it == lFiles.end() || it->localFile() != sLocalFile || it->chunks().size() < 2)
        return nullptr;
    // A file cut short or grown since it was installed no longer matches its
    // description: it must be read.
    if (it->unpackedSize() != nSizeOnDisk)
        return nullptr;
    for (const qint32 nIndex : it->chunks()) {
        if (nIndex < 0 || size_t(nIndex) >= pInstalled->chunks().size())
            return nullptr;
    }
    return &*it;
}

// Bytes of the file for a move; empty when they cannot be read (the record then
// stays missing and is fetched).
QByteArray readSource(QFileDevice& oFile, const TPlacement& oPlacement)
{
    try {
        return shared::readExactlyAt(oFile, oPlacement.m_nSourceOffset, oPlacement.m_nSize);
    } catch (const std::runtime_error& oError) {
        qWarning() << "chunk to move cannot be read, it is fetched instead:" << oError.what();
        return QByteArray();
    }
}

void rearrange(const shared::TConfinedFolder& oFolder, const QString& sPath, std::vector<TPlacement>& lPlacements,
               const TInterruption& oInterruption)
{
    shared::TCheckedFile oFile;
    std::unique_ptr<shared::TCheckedFile> pTemporary;
    shared::TFileSize nTemporaryOffset = 0;
    for (size_t nRecord = 0; nRecord < lPlacements.size(); ++nRecord) {
        TPlacement& oMove = lPlacements[nRecord];
        if (oMove.m_eState != Elsewhere)
            continue;
        oInterruption.check();
        if (!oFile.isOpen() && !oFile.open(oFolder, sPath, QIODevice::ReadWrite | QIODevice::ExistingOnly))
            throw shared::ioError(oFolder.filePath(sPath), oFile.errorString());
        const shared::TFileSize nTargetEnd = oMove.m_nTargetOffset + oMove.m_nSize;
        // Sources still to be moved that this write would overwrite are saved first.
        for (size_t nLater = nRecord + 1; nLater < lPlacements.size(); ++nLater) {
            TPlacement& oLater = lPlacements[nLater];
            if (oLater.m_eState != Elsewhere || oLater.m_bInTemporaryFile)
                continue;
            if (oLater.m_nSourceOffset >= nTargetEnd || oMove.m_nTargetOffset >= oLater.m_nSourceOffset + oLater.m_nSize)
                continue;
            const QByteArray aLater = readSource(oFile, oLater);
            if (aLater.isEmpty()) {
                oLater.m_eState = NotFound;
                continue;
            }
            if (!pTemporary) {
                pTemporary = std::make_unique<shared::TCheckedFile>();
                if (!pTemporary->openTemporary())
                    throw shared::ioError(pTemporary->fileName(), pTemporary->errorString());
            }
            shared::writeAllAt(*pTemporary, nTemporaryOffset, aLater);
            oLater.m_nSourceOffset = nTemporaryOffset;
            oLater.m_bInTemporaryFile = true;
            nTemporaryOffset += oLater.m_nSize;
        }
        const QByteArray aBytes = oMove.m_bInTemporaryFile
                                      ? shared::readExactlyAt(*pTemporary, oMove.m_nSourceOffset, oMove.m_nSize)
                                      : readSource(oFile, oMove);
        if (aBytes.isEmpty()) {
            oMove.m_eState = NotFound;
            continue;
        }
        shared::writeAllAt(oFile, oMove.m_nTargetOffset, aBytes);
        oMove.m_eState = InPlace;
    }
}

} // namespace

TReuseResult reuseChunks(const shared::TConfinedFolder& oFolder, const QString& sPath, TFileToDownload& oFile,
                         shared::TFileSize nUnpackedSize, const TPackageConfigurationReader* pInstalled,
                         TScanProgress& oProgress, const TInterruption& oInterruption)
{
    TReuseResult oResult;
    const QString sShownPath = oFolder.filePath(sPath);
    TChunkMatcher oMatcher(sShownPath, oFile);
    const shared::TConfinedFolder::TStatus oStatus = oFolder.status(sPath);
    const bool bFile = oStatus.m_eEntry == shared::TConfinedFolder::EEntry::File;
    const shared::TFileSize nSizeOnDisk = bFile ? oStatus.m_nSize : 0;
    if (const TFileDescription* pTrusted = bFile ? trustedDescription(pInstalled, oFile.m_sLocalFile, nSizeOnDisk) : nullptr) {
        for (const qint32 nIndex : pTrusted->chunks()) {
            const TChunkDescription& oChunk = pInstalled->chunks()[size_t(nIndex)];
            oProgress.add(oChunk.unpackedSize());
            oMatcher.match(oChunk.unpackedHash(), oChunk.unpackedSize());
        }
    } else if (bFile) {
        try {
            shared::TCheckedFile oFileOnDisk;
            if (!oFileOnDisk.open(oFolder, sPath, QIODevice::ReadOnly))
                throw shared::ioError(sShownPath, oFileOnDisk.errorString());
            chunkAndHashFileByContent(oFileOnDisk, [&](const char*, size_t nLength, const QByteArray& aHash) {
                oInterruption.check();
                oProgress.add(nLength);
                oMatcher.match(shared::TSha256Digest::fromBytes(aHash), nLength);
            });
            oMatcher.matchMissingInPlace(oFileOnDisk, nSizeOnDisk, oInterruption);
        } catch (const std::runtime_error& oError) {
            // What cannot be read holds nothing worth keeping: the file is fetched again.
            qWarning() << "installed file" << sShownPath << "cannot be read, it is fetched again:" << oError.what();
            return oResult;
        }
    }
    if (!oMatcher.found())
        return oResult;
    oResult.m_bFound = true;

    std::vector<TPlacement>& lPlacements = oMatcher.placements();
    oResult.m_bChanged = std::any_of(lPlacements.begin(), lPlacements.end(),
                                     [](const TPlacement& oPlacement) { return oPlacement.m_eState == Elsewhere; });
    rearrange(oFolder, sPath, lPlacements, oInterruption);
    if (nSizeOnDisk > nUnpackedSize) {
        shared::TCheckedFile oFileOnDisk;
        if (!oFileOnDisk.open(oFolder, sPath, QIODevice::ReadWrite | QIODevice::ExistingOnly))
            throw shared::ioError(sShownPath, oFileOnDisk.errorString());
        shared::resizeFile(oFileOnDisk, nUnpackedSize);
        oResult.m_bChanged = true;
    }
    oFile.m_lPositionsToWrite.clear();
    for (size_t nRecord = 0; nRecord < lPlacements.size(); ++nRecord) {
        if (lPlacements[nRecord].m_eState == NotFound)
            oFile.m_lPositionsToWrite.push_back(qint32(nRecord));
    }
    return oResult;
}

void recheckRecordsInPlace(const shared::TConfinedFolder& oFolder, const QString& sPath, TFileToDownload& oFile,
                           const TInterruption& oInterruption)
{
    const QString sShownPath = oFolder.filePath(sPath);
    TChunkMatcher oMatcher(sShownPath, oFile);
    bool bReadable = true;
    try {
        shared::TCheckedFile oFileOnDisk;
        if (oFileOnDisk.open(oFolder, sPath, QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
            const shared::TFileSize nSize = shared::TFileSize(oFileOnDisk.size());
            oMatcher.matchMissingInPlace(oFileOnDisk, nSize, oInterruption);
            if (nSize > oFile.m_nUnpackedSize)
                shared::resizeFile(oFileOnDisk, oFile.m_nUnpackedSize);
        }
    } catch (const std::runtime_error& oError) {
        qWarning() << "rebuilt file" << sShownPath << "cannot be read back, it is fetched whole:" << oError.what();
        bReadable = false;
    }
    oFile.m_lPositionsToWrite.clear();
    const std::vector<TPlacement>& lPlacements = oMatcher.placements();
    for (size_t nRecord = 0; nRecord < lPlacements.size(); ++nRecord) {
        if (!bReadable || lPlacements[nRecord].m_eState != InPlace)
            oFile.m_lPositionsToWrite.push_back(qint32(nRecord));
    }
}

} // namespace velmar::launcher
