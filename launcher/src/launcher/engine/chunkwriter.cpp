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
#include "shared/ioerror.h"

#include <QDebug>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <stdexcept>

namespace velmar::launcher {

namespace {

void logLine(QFile* pLog, shared::TFileSize nOffset, const char* pText)
{
    if (pLog)
        QTextStream(pLog) << nOffset << pText << '\n';
}

} // namespace

void TPackageFileDownloader::saveDownloadedData(const TChunkToDownload& oChunk, const QByteArray& aData)
{
    qCInfo(lcInstallSteps) << "saveDownloadedData chunk" << oChunk.m_oRecord.url() << "Thread:" << QThread::currentThreadId();
    bool bCached = false;
    for (const std::shared_ptr<TChunkedFileState>& pState : oChunk.m_lFileStates) {
        QMutexLocker oLock(&pState->m_oLock);
        try {
            writeIntoFile(oChunk, aData, *pState, bCached);
        } catch (...) {
            // A file left open would hold a descriptor for as long as the set lives.
            pState->m_oTarget.close();
            throw;
        }
    }
}

void TPackageFileDownloader::writeIntoFile(const TChunkToDownload& oChunk, const QByteArray& aData,
                                           TChunkedFileState& oState, bool& bCached)
{
    const bool bChunkVerification = m_pFilesystemHelper->settings()->chunkVerification();
    const QString sTarget = oState.m_oTarget.fileName();
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
        if (!oState.m_oTarget.isOpen()) {
            if (!oState.m_oTarget.open(QIODevice::ReadWrite))
                throw shared::ioError(sTarget, QStringLiteral("couldn't open target file"));
            if (bChunkVerification && !pLog) {
                pLog = std::make_unique<QFile>(sTarget + QLatin1String(".log"));
                if (!pLog->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
                    pLog.reset();
            }
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
        shared::writeAllAt(oState.m_oTarget, nOffset, aBytes);
        if (oState.m_bHashWhileWriting) {
            oState.m_oRunningHash.addData(aBytes);
            oState.m_nHashedUpTo = nOffset + oRecord.unpackedSize();
        }
        releaseUse(oRecord);
        emit writeProgress(oRecord.url(), oRecord.unpackedSize());
        oState.m_lRemainingPositions.pop_front();
        crashPoint("chunk-written");
    }

    if (oState.m_lRemainingPositions.empty()) {
        completeFile(oState);
        return;
    }
    // Descriptors are few and files many: a file waiting for a later chunk is reopened then.
    oState.m_oTarget.close();
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
    const QString sTarget = oState.m_oTarget.fileName();
    // A partial update writes into the file in place; a full rewrite starts afresh.
    if (oState.m_lRemainingPositions.size() == oState.m_lChunkRecords.size()) {
        try {
            m_pFilesystemHelper->removePath(sTarget);
        } catch (const std::runtime_error&) {
            if (m_nInstallationMode != 1)
                throw;
            const QString sOld = sTarget + QLatin1String(".old");
            if (QFileInfo::exists(sTarget) || QFileInfo(sTarget).isSymLink()) {
                m_pFilesystemHelper->removePath(sOld);
                QFile::rename(sTarget, sOld);
            }
        }
    } else if (QFileInfo(sTarget).isSymLink()) {
        throw shared::ioError(sTarget, QStringLiteral("a link stands where the file belongs"));
    }
    const QString sFolder = QFileInfo(sTarget).absolutePath();
    if (!QFileInfo(sFolder).isDir() && (!QDir().mkpath(sFolder) || !QFileInfo(sFolder).isDir()))
        throw std::runtime_error(
            QStringLiteral("Failed to create folder: '%1'.").arg(QDir::toNativeSeparators(sFolder)).toStdString());
}

bool TPackageFileDownloader::fetchCached(const TChunkRecord& oRecord, QByteArray& aBytes)
{
    QMutexLocker oLock(&m_oCacheLock);
    const auto it = m_hPendingChunks.find(oRecord.unpackedHash());
    if (it == m_hPendingChunks.end() || it->second->m_eStorage == TPendingChunk::None)
        return false;
    TPendingChunk& oPending = *it->second;
    if (oPending.m_eStorage == TPendingChunk::Memory) {
        aBytes = oPending.m_aData;
        return true;
    }
    if (!oPending.m_oFile.open())
        throw shared::ioError(oPending.m_oFile.fileName(), QStringLiteral("couldn't open chunk file"));
    aBytes = oPending.m_oFile.readAll();
    oPending.m_oFile.close();
    if (shared::TFileSize(aBytes.size()) != oRecord.unpackedSize())
        throw shared::ioError(oPending.m_oFile.fileName(), QStringLiteral("couldn't read chunk file"));
    if (m_pFilesystemHelper->settings()->chunkVerification() && oRecord.unpackedHash() != shared::TSha256::hash(aBytes))
        throw shared::ioError(oPending.m_oFile.fileName(), QStringLiteral("invalid hash"));
    return true;
}

void TPackageFileDownloader::releaseUse(const TChunkRecord& oRecord)
{
    QMutexLocker oLock(&m_oCacheLock);
    const auto it = m_hPendingChunks.find(oRecord.unpackedHash());
    if (it == m_hPendingChunks.end() || --it->second->m_nUseCount > 0)
        return;
    // Every place that needs these bytes has them: nothing may keep them any longer.
    if (it->second->m_eStorage == TPendingChunk::Memory) {
        --m_nCachedChunkCount;
        m_nCachedBytes -= shared::TFileSize(it->second->m_aData.size());
    }
    m_hPendingChunks.erase(it);
}

void TPackageFileDownloader::cacheChunk(const TChunkToDownload& oChunk, const QByteArray& aData)
{
    QMutexLocker oLock(&m_oCacheLock);
    const auto it = m_hPendingChunks.find(oChunk.m_oRecord.unpackedHash());
    if (it == m_hPendingChunks.end())
        throw std::runtime_error("couldn't find pending chunk");
    const std::shared_ptr<TPendingChunk> pPending = it->second;
    const int nMaximum = std::max(0, m_pFilesystemHelper->settings()->maxCachedChunks());
    if (m_nCachedChunkCount <= nMaximum && m_nCachedBytes + shared::TFileSize(aData.size()) <= kMaximumCachedBytes) {
        ++m_nCachedChunkCount;
        m_nCachedBytes += shared::TFileSize(aData.size());
        pPending->m_aData = aData;
        pPending->m_eStorage = TPendingChunk::Memory;
        return;
    }
    oLock.unlock();
    if (!pPending->m_oFile.open())
        throw shared::ioError(pPending->m_oFile.fileTemplate(), QStringLiteral("couldn't open chunk file"));
    if (pPending->m_oFile.write(aData) != aData.size() || !pPending->m_oFile.flush())
        throw shared::ioError(pPending->m_oFile.fileName(), QStringLiteral("couldn't write chunk file"));
    pPending->m_oFile.close();
    oLock.relock();
    pPending->m_eStorage = TPendingChunk::TemporaryFile;
}

void TPackageFileDownloader::catchUpHash(TChunkedFileState& oState, shared::TFileSize nOffset, QFile* pLog)
{
    if (oState.m_nHashedUpTo >= nOffset)
        return;
    if (!pLog) {
        shared::hashRange(oState.m_oTarget, oState.m_nHashedUpTo, nOffset, oState.m_oRunningHash);
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
            aKept = shared::readExactlyAt(oState.m_oTarget, nStart, oRecord.unpackedSize());
        } catch (const std::runtime_error&) {
            throw shared::ioError(oState.m_oTarget.fileName(), QStringLiteral("invalid old chunk"));
        }
        const bool bGood = oRecord.unpackedHash() == shared::TSha256::hash(aKept);
        logLine(pLog, nStart, bGood ? ": check succeeded" : ": check failed");
        if (!bGood)
            throw shared::ioError(oState.m_oTarget.fileName(), QStringLiteral("invalid hash"));
        oState.m_oRunningHash.addData(aKept);
        oState.m_nHashedUpTo = nStart + oRecord.unpackedSize();
    }
}

void TPackageFileDownloader::completeFile(TChunkedFileState& oState)
{
    QFile& oTarget = oState.m_oTarget;
    if (!oTarget.isOpen() && !oTarget.open(QIODevice::ReadWrite))
        throw shared::ioError(oTarget.fileName(), QStringLiteral("couldn't open target file"));
    if (oState.m_bHashWhileWriting)
        shared::hashRange(oTarget, oState.m_nHashedUpTo, oState.m_nSize, oState.m_oRunningHash);
    const qint64 nSizeOnDisk = oTarget.size();
    oTarget.close();
    const bool bHashMatches = !oState.m_bHashWhileWriting || oState.m_oHash == oState.m_oRunningHash.result();
    if (nSizeOnDisk != qint64(oState.m_nSize) || !bHashMatches) {
        if (!oState.m_bKeepsBytes)
            throw TFileHashMismatch(oState.m_sLocalFile);
        // Bytes kept from the disk were not what they were taken for: the file is
        // checked again chunk by chunk and mended, not given up.
        qWarning() << "file" << oState.m_sLocalFile << "built with bytes kept from the disk does not match its hash";
        QMutexLocker oLock(&m_oCompletedLock);
        m_lFilesToRecheck.push_back(oState.m_sLocalFile);
        return;
    }
    if (oState.m_bExecutable
        && !oTarget.setPermissions(oTarget.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                   | QFileDevice::ExeOther))
        throw shared::ioError(oTarget.fileName(), QStringLiteral("couldn't make it executable"));
    if (!oState.m_sCommitTo.isEmpty())
        commitStagedFile(oTarget.fileName(), oState.m_sCommitTo);
    QMutexLocker oLock(&m_oCompletedLock);
    m_lCompletedFiles.push_back(oState.m_sLocalFile);
}

} // namespace velmar::launcher
