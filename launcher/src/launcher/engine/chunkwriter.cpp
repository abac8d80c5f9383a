// The saving step of the package file downloader: writes a checked chunk into
// every place that needs its bytes, files strictly front to back, and keeps
// chunks that arrived early until their place is reached.

#include "packagefiledownloader.h"

#include "installlog.h"

#include "chunkedfilestate.h"
#include "stagedfile.h"
#include "filehashmismatch.h"
#include "crashpoint.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "pendingchunk.h"

#include "shared/checkedfileio.h"
#include "shared/confinedfolder.h"
#include "shared/ioerror.h"

#include <QDebug>
#include <QTextStream>
#include <QThread>

#include <cstring>
#include <stdexcept>

namespace velmar::launcher {

namespace {

void logLine(QFile* pLog, shared::TFileSize nOffset, const char* pText)
{
    if (pLog)
        QTextStream(pLog) << nOffset << pText << '\n';
}

QString systemError(int nError)
{
    return QString::fromLocal8Bit(std::strerror(nError));
}

// The folder that holds sRelative, relative to the package folder; empty for the folder itself.
QString parentOf(const QString& sRelative)
{
    const int nSlash = sRelative.lastIndexOf(QLatin1Char('/'));
    return nSlash < 0 ? QString() : sRelative.left(nSlash);
}

// A big file's data starts on its way to the disk once it is complete, so the
// sync before the marker waits for less while the rest still downloads and
// unpacks. Small files are left to that sync: a request of their own each
// would cost more than it saves.
constexpr shared::TFileSize kWritebackHintSize = shared::TFileSize(1) << 20;
// From this size on a new file is written past the page cache; below it the
// block held back at each file's end would be a good part of the file.
constexpr shared::TFileSize kUncachedSize = shared::TFileSize(1) << 20;

[[noreturn]] void throwWriteError(const QString& sTarget, int nSize, shared::TFileSize nOffset, int nError)
{
    throw shared::ioError(sTarget, QStringLiteral("couldn't write %1 bytes at offset %2: %3")
                                       .arg(nSize)
                                       .arg(nOffset)
                                       .arg(systemError(nError)));
}

} // namespace

void TPackageFileDownloader::saveDownloadedData(const TChunkToDownload& oChunk, const QByteArray& aData,
                                                TWrittenChunks& lWritten)
{
    qCInfo(lcInstallSteps) << "saveDownloadedData chunk" << oChunk.m_oRecord.url() << "Thread:" << QThread::currentThreadId();
    bool bCached = false;
    for (const std::shared_ptr<TChunkedFileState>& pState : oChunk.m_lFileStates) {
        QMutexLocker oLock(&pState->m_oLock);
        try {
            writeIntoFile(oChunk, aData, *pState, bCached, lWritten);
        } catch (...) {
            // A file left open would hold a descriptor for as long as the set lives.
            pState->closeTarget();
            throw;
        }
    }
}

void TPackageFileDownloader::writeIntoFile(const TChunkToDownload& oChunk, const QByteArray& aData,
                                           TChunkedFileState& oState, bool& bCached,
                                           TWrittenChunks& lWritten)
{
    const bool bChunkVerification = m_pFilesystemHelper->settings()->chunkVerification();
    const QString sTarget = m_pFolder->filePath(oState.m_sTarget);
    prepareTarget(oState);

    std::unique_ptr<QFile> pLog;
    while (!oState.m_lRemainingPositions.empty()) {
        const int nPosition = oState.m_lRemainingPositions.front();
        const TChunkRecord& oRecord = oState.m_lChunkRecords[size_t(nPosition)];
        QByteArray aBytes;
        const bool bDirect = oRecord.unpackedHash() == oChunk.m_oRecord.unpackedHash();
        if (bDirect) {
            aBytes = aData;
        } else if (!fetchCached(oRecord, aBytes)) {
            qCInfo(lcInstallSteps) << "saveDownloadedData chunk" << oRecord.url() << "not found for" << sTarget << ". => Wait for chunk"
                    << "Thread:" << QThread::currentThreadId();
            break;
        }
        shared::TCheckedFile& oTarget = oState.writing().m_oTarget;
        if (!oTarget.isOpen())
            openTarget(oState);
        if (bChunkVerification && !pLog) {
            auto pOpened = std::make_unique<shared::TCheckedFile>();
            if (pOpened->open(*m_pFolder, oState.m_sTarget + QLatin1String(".log"), QIODevice::ReadWrite)
                && pOpened->seek(pOpened->size()))
                pLog = std::move(pOpened);
        }
        const shared::TFileSize nOffset = oState.m_lOffsets[size_t(nPosition)];
        if (oState.m_bHashWhileWriting)
            catchUpHash(oState, nOffset, pLog.get());
        if (bChunkVerification)
            logLine(pLog.get(), nOffset, oRecord.unpackedHash() == shared::TSha256::hash(aBytes)
                                             ? (bDirect ? ": write succeeded" : ": write cache correct")
                                             : (bDirect ? ": write failed" : ": write cache invalid"));
        qCInfo(lcInstallSteps) << "saveDownloadedData chunk" << oRecord.url() << (bDirect ? "to" : "from cache to") << sTarget
                << "offset:" << nOffset << "Thread:" << QThread::currentThreadId();
        if (shared::TFileSize(aBytes.size()) != oRecord.unpackedSize())
            throw shared::ioError(sTarget, QStringLiteral("couldn't write chunk file"));
        writeChunkBytes(oState, nOffset, aBytes);
        if (oState.m_bHashWhileWriting) {
            oState.m_pWriting->m_oRunningHash.addData(aBytes);
            oState.m_nHashedUpTo = nOffset + oRecord.unpackedSize();
        }
        releaseUse(oRecord);
        lWritten.emplace_back(oRecord.url(), oRecord.unpackedSize());
        oState.m_lRemainingPositions.pop_front();
        crashPoint("chunk-written");
    }

    if (oState.m_lRemainingPositions.empty()) {
        completeFile(oState);
        return;
    }
    // Descriptors are few and files many: a file waiting for a later chunk is reopened then.
    oState.closeTarget();
    if (bCached)
        return;
    for (const int nPosition : oState.m_lRemainingPositions) {
        if (oState.m_lChunkRecords[size_t(nPosition)].unpackedHash() == oChunk.m_oRecord.unpackedHash()) {
            bCached = true;
            cacheChunk(oChunk, aData);
            return;
        }
    }
}

std::vector<QString> TPackageFileDownloader::completedFiles() const
{
    QMutexLocker oLock(&m_oCompletedLock);
    return m_lCompletedFiles;
}

std::vector<QString> TPackageFileDownloader::filesToRecheck() const
{
    QMutexLocker oLock(&m_oCompletedLock);
    return m_lFilesToRecheck;
}

void TPackageFileDownloader::prepareTarget(TChunkedFileState& oState)
{
    if (oState.m_bTargetPrepared)
        return;
    oState.m_bTargetPrepared = true;
    const QString& sTarget = oState.m_sTarget;
    // A partial update writes into the file in place; a full rewrite starts afresh.
    if (oState.m_lRemainingPositions.size() == oState.m_lChunkRecords.size()) {
        // Mostly nothing stands there yet and its folder exists: the file is made
        // in one step. Anything else, whatever stands there goes first.
        if (oState.m_sCommitTo.isEmpty() && oState.m_nSize >= kUncachedSize)
            oState.writing().m_pAppender = std::make_unique<shared::TUncachedAppender>();
        if (oState.writing().m_oTarget.open(*m_pFolder, sTarget, QIODevice::ReadWrite | QIODevice::NewOnly))
            return;
        try {
            m_pFolder->removePath(sTarget);
        } catch (const std::runtime_error&) {
            if (m_nInstallationMode != kLauncherUpdatingItself)
                throw;
            const QString sOld = sTarget + QLatin1String(".old");
            m_pFolder->removePath(sOld);
            m_pFolder->rename(sTarget, sOld);
        }
    } else if (m_pFolder->status(sTarget).m_eEntry == shared::TConfinedFolder::EEntry::Link) {
        throw shared::ioError(m_pFolder->filePath(sTarget), QStringLiteral("a link stands where the file belongs"));
    }
    const QString sFolder = parentOf(sTarget);
    if (!sFolder.isEmpty())
        m_pFolder->createFolders(sFolder);
}

void TPackageFileDownloader::writeChunkBytes(TChunkedFileState& oState, shared::TFileSize nOffset,
                                             const QByteArray& aBytes)
{
    TChunkedFileState::TWriting& oWriting = oState.writing();
    shared::TCheckedFile& oTarget = oWriting.m_oTarget;
    // Out of step (never so far): the file holds what the appender took, the rest goes as usual.
    if (oWriting.m_pAppender && oWriting.m_pAppender->end() != nOffset)
        oWriting.m_pAppender.reset();
    if (!oWriting.m_pAppender) {
        shared::writeAllAt(oTarget, nOffset, aBytes);
        return;
    }
    if (const int nError = oWriting.m_pAppender->append(oTarget, aBytes.constData(), aBytes.size()))
        throwWriteError(oTarget.fileName(), aBytes.size(), nOffset, nError);
}

void TPackageFileDownloader::openTarget(TChunkedFileState& oState)
{
    shared::TCheckedFile& oTarget = oState.writing().m_oTarget;
    if (!oTarget.open(*m_pFolder, oState.m_sTarget, QIODevice::ReadWrite))
        throw shared::ioError(m_pFolder->filePath(oState.m_sTarget),
                              QStringLiteral("couldn't open target file: %1").arg(oTarget.errorString()));
}

bool TPackageFileDownloader::fetchCached(const TChunkRecord& oRecord, QByteArray& aBytes)
{
    QMutexLocker oLock(&m_oCacheLock);
    const auto it = m_hPendingChunks.find(oRecord.unpackedHash());
    if (it == m_hPendingChunks.end() || it.value()->m_eStorage == TPendingChunk::None)
        return false;
    const std::shared_ptr<TPendingChunk> pPending = it.value();
    if (pPending->m_eStorage == TPendingChunk::Memory) {
        aBytes = pPending->m_aData;
        return true;
    }
    oLock.unlock();
    if (pPending->m_nSpillSize != oRecord.unpackedSize())
        throw shared::ioError(m_oSpill.fileName(), QStringLiteral("couldn't read chunk file"));
    aBytes.resize(int(pPending->m_nSpillSize));
    if (const int nError = m_oSpill.readAt(qint64(pPending->m_nSpillOffset), aBytes.data(), aBytes.size()))
        throw shared::ioError(m_oSpill.fileName(), QStringLiteral("couldn't read chunk file: %1").arg(systemError(nError)));
    if (m_pFilesystemHelper->settings()->chunkVerification() && oRecord.unpackedHash() != shared::TSha256::hash(aBytes))
        throw shared::ioError(m_oSpill.fileName(), QStringLiteral("invalid hash"));
    return true;
}

void TPackageFileDownloader::releaseUse(const TChunkRecord& oRecord)
{
    QMutexLocker oLock(&m_oCacheLock);
    const auto it = m_hPendingChunks.find(oRecord.unpackedHash());
    if (it != m_hPendingChunks.end() && --it.value()->m_nUseCount <= 0)
        dropPending(it);
}

void TPackageFileDownloader::dropPending(QHash<shared::TSha256Digest, std::shared_ptr<TPendingChunk>>::iterator it)
{
    // Every place that needs these bytes has them: nothing may keep them any longer.
    const TPendingChunk& oPending = *it.value();
    if (oPending.m_eStorage == TPendingChunk::Memory) {
        --m_nCachedChunkCount;
        m_nCachedBytes -= shared::TFileSize(oPending.m_aData.size());
    } else if (oPending.m_eStorage == TPendingChunk::TemporaryFile) {
        m_oSpill.discard(qint64(oPending.m_nSpillOffset), qint64(oPending.m_nSpillSize));
    }
    m_hPendingChunks.erase(it);
}

void TPackageFileDownloader::cacheChunk(const TChunkToDownload& oChunk, const QByteArray& aData)
{
    QMutexLocker oLock(&m_oCacheLock);
    const auto it = m_hPendingChunks.find(oChunk.m_oRecord.unpackedHash());
    if (it == m_hPendingChunks.end())
        throw std::runtime_error("couldn't find pending chunk");
    const std::shared_ptr<TPendingChunk> pPending = it.value();
    const int nMaximum = std::max(0, m_pFilesystemHelper->settings()->maxCachedChunks());
    if (m_nCachedChunkCount <= nMaximum && m_nCachedBytes + shared::TFileSize(aData.size()) <= kMaximumCachedBytes) {
        ++m_nCachedChunkCount;
        m_nCachedBytes += shared::TFileSize(aData.size());
        pPending->m_aData = aData;
        pPending->m_eStorage = TPendingChunk::Memory;
        return;
    }
    if (!m_oSpill.isOpen() && !m_oSpill.openTemporary())
        throw shared::ioError(m_oSpill.fileName(), QStringLiteral("couldn't open chunk file: %1").arg(m_oSpill.errorString()));
    // The place is taken under the lock; the bytes are written without it.
    const shared::TFileSize nOffset = m_nSpillEnd;
    m_nSpillEnd += shared::TFileSize(aData.size());
    oLock.unlock();
    if (const int nError = m_oSpill.writeAt(qint64(nOffset), aData.constData(), aData.size()))
        throw shared::ioError(m_oSpill.fileName(), QStringLiteral("couldn't write chunk file: %1").arg(systemError(nError)));
    oLock.relock();
    pPending->m_nSpillOffset = nOffset;
    pPending->m_nSpillSize = shared::TFileSize(aData.size());
    pPending->m_eStorage = TPendingChunk::TemporaryFile;
}

void TPackageFileDownloader::catchUpHash(TChunkedFileState& oState, shared::TFileSize nOffset, QFile* pLog)
{
    if (oState.m_nHashedUpTo >= nOffset)
        return;
    TChunkedFileState::TWriting& oWriting = oState.writing();
    if (!pLog) {
        shared::hashRange(oWriting.m_oTarget, oState.m_nHashedUpTo, nOffset, oWriting.m_oRunningHash);
        oState.m_nHashedUpTo = nOffset;
        return;
    }
    // With chunk verification each kept chunk is also checked on its own.
    for (size_t nRecord = 0; nRecord < oState.m_lChunkRecords.size(); ++nRecord) {
        const shared::TFileSize nStart = oState.m_lOffsets[nRecord];
        const TChunkRecord& oRecord = oState.m_lChunkRecords[nRecord];
        if (nStart < oState.m_nHashedUpTo || nStart >= nOffset)
            continue;
        QByteArray aKept;
        try {
            aKept = shared::readExactlyAt(oWriting.m_oTarget, nStart, oRecord.unpackedSize());
        } catch (const std::runtime_error&) {
            throw shared::ioError(oWriting.m_oTarget.fileName(), QStringLiteral("invalid old chunk"));
        }
        const bool bGood = oRecord.unpackedHash() == shared::TSha256::hash(aKept);
        logLine(pLog, nStart, bGood ? ": check succeeded" : ": check failed");
        if (!bGood)
            throw shared::ioError(oWriting.m_oTarget.fileName(), QStringLiteral("invalid hash"));
        oWriting.m_oRunningHash.addData(aKept);
        oState.m_nHashedUpTo = nStart + oRecord.unpackedSize();
    }
}

void TPackageFileDownloader::completeFile(TChunkedFileState& oState)
{
    TChunkedFileState::TWriting& oWriting = oState.writing();
    shared::TCheckedFile& oTarget = oWriting.m_oTarget;
    if (!oTarget.isOpen())
        openTarget(oState);
    if (oState.m_bHashWhileWriting)
        shared::hashRange(oTarget, oState.m_nHashedUpTo, oState.m_nSize, oWriting.m_oRunningHash);
    const bool bHashMatches = !oState.m_bHashWhileWriting || oState.m_oHash == oWriting.m_oRunningHash.result();
    if (oTarget.size() != qint64(oState.m_nSize) || !bHashMatches) {
        if (!oState.m_bKeepsBytes)
            throw TFileHashMismatch(oState.m_sLocalFile);
        // Bytes kept from the disk were not what they were taken for: the file is
        // checked again chunk by chunk and mended, not given up.
        qWarning() << "file" << oState.m_sLocalFile << "built with bytes kept from the disk does not match its hash";
        oState.m_pWriting.reset();
        QMutexLocker oLock(&m_oCompletedLock);
        m_lFilesToRecheck.push_back(oState.m_sLocalFile);
        return;
    }
    if (oState.m_bExecutable
        && !oTarget.setPermissions(oTarget.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                   | QFileDevice::ExeOther))
        throw shared::ioError(oTarget.fileName(), QStringLiteral("couldn't make it executable: %1").arg(oTarget.errorString()));
    if (!oState.m_sCommitTo.isEmpty())
        commitStagedFile(*m_pFolder, oTarget, oState.m_sCommitTo);
    else if (oState.m_nSize >= kWritebackHintSize)
        shared::startWriteback(oTarget);
    oState.m_pWriting.reset();
    QMutexLocker oLock(&m_oCompletedLock);
    m_lCompletedFiles.push_back(oState.m_sLocalFile);
}

} // namespace velmar::launcher
