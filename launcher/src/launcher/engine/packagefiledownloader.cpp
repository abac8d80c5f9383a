#include "packagefiledownloader.h"

#include "installlog.h"

#include "chunkedfilestate.h"
#include "filehashmismatch.h"
#include "partialchunks.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "pendingchunk.h"

#include "shared/decompressionerror.h"
#include "shared/downloadpool.h"
#include "shared/downloadretries.h"
#include "shared/packeddata.h"
#include "shared/sha256.h"

#include <QDebug>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace velmar::launcher {

shared::TFileSize bytesPerSecondFromTickMean(double fMeanPerTick)
{
    if (!(fMeanPerTick > 0))
        return 0;
    const double fLimit = double(std::numeric_limits<shared::TFileSize>::max() / 10);
    return shared::TFileSize(std::min(std::trunc(fMeanPerTick), fLimit)) * 10;
}

shared::TFileSize TPackageFileDownloader::bytesPerSecond() const
{
    return m_nRateSampleCount > 0 ? bytesPerSecondFromTickMean(m_fRateMean) : 0;
}

TPackageFileDownloader::TPackageFileDownloader(std::shared_ptr<shared::TDownloadPool> Pool,
                                               std::shared_ptr<TLauncherFilesystemHelper> FilesystemHelper)
    : m_pDownloadPool(std::move(Pool)), m_pFilesystemHelper(std::move(FilesystemHelper))
{
    qRegisterMetaType<shared::TFileSize>("shared::TFileSize");
    qRegisterMetaType<EPackageDownloaderError>("velmar::launcher::EPackageDownloaderError");
    connect(m_pDownloadPool.get(), &shared::TDownloadPool::success, this, &TPackageFileDownloader::onDownloadCompleted);
    connect(m_pDownloadPool.get(), &shared::TDownloadPool::failed, this, &TPackageFileDownloader::onDownloadFailed);
    connect(m_pDownloadPool.get(), &shared::TDownloadPool::progress, this, &TPackageFileDownloader::onDownloadProgress);
    connect(m_pDownloadPool.get(), &shared::TDownloadPool::restarted, this, &TPackageFileDownloader::onDownloadRestarted);
    connect(m_pDownloadPool.get(), &shared::TDownloadPool::partlyReceived, this, &TPackageFileDownloader::onPartlyReceived);
    connect(&m_oProgressTimer, &QTimer::timeout, this, &TPackageFileDownloader::onProgressTick);
    m_oProgressTimer.setInterval(100);
}

TPackageFileDownloader::~TPackageFileDownloader()
{
    // Before any member goes: the chunks' work uses them.
    m_oChunkWork.waitForDone();
}

void TPackageFileDownloader::setFilesToDownload(std::vector<TFileToDownload> lFiles)
{
    // A second round (files mended after a failed check) replaces the first;
    // nothing of the first may reach the new list by its indices.
    ++m_nRound;
    m_lChunksToDownload.clear();
    m_lFilesGiven.clear();
    m_hPendingChunks.clear();
    m_nCachedChunkCount = 0;
    m_nCachedBytes = 0;
    m_oSpill.close();
    m_nSpillEnd = 0;
    {
        QMutexLocker oLock(&m_oCompletedLock);
        m_lFilesToRecheck.clear();
    }
    // Sized once: a client of a hundred thousand files would otherwise grow each
    // table and the list many times over before the first request.
    size_t nAllPositions = 0;
    size_t nAllRecords = 0;
    for (const TFileToDownload& oFile : lFiles) {
        nAllPositions += oFile.m_lPositionsToWrite.size();
        nAllRecords += oFile.m_lChunkRecords.size();
    }
    m_lChunksToDownload.reserve(nAllPositions);
    // Each address once, where a file first asks for it.
    QHash<QUrl, size_t> hChunkIndex;
    hChunkIndex.reserve(int(nAllPositions));
    // The smallest offset at which any file needs a chunk's bytes.
    QHash<shared::TSha256Digest, shared::TFileSize> hEarliest;
    hEarliest.reserve(int(nAllRecords));
    m_hPendingChunks.reserve(int(nAllRecords));
    for (TFileToDownload& oFile : lFiles) {
        m_lFilesGiven.push_back(oFile.m_sLocalFile);
        auto pState = std::make_shared<TChunkedFileState>(oFile);
        for (size_t nRecord = 0; nRecord < pState->m_lChunkRecords.size(); ++nRecord) {
            const TChunkRecord& oRecord = pState->m_lChunkRecords[nRecord];
            auto it = hEarliest.find(oRecord.unpackedHash());
            if (it == hEarliest.end())
                hEarliest.insert(oRecord.unpackedHash(), pState->m_lOffsets[nRecord]);
            else
                *it = std::min(*it, pState->m_lOffsets[nRecord]);
        }
        QSet<shared::TSha256Digest> lSeenInFile;
        const size_t nPositions = oFile.m_lPositionsToWrite.size();
        for (size_t nPosition = 0; nPosition < nPositions; ++nPosition) {
            const TChunkRecord& oRecord = pState->m_lChunkRecords.at(size_t(oFile.m_lPositionsToWrite[nPosition]));
            std::shared_ptr<TPendingChunk>& pPending = m_hPendingChunks[oRecord.unpackedHash()];
            if (!pPending)
                pPending = std::make_shared<TPendingChunk>();
            ++pPending->m_nUseCount;
            if (lSeenInFile.contains(oRecord.unpackedHash()))
                continue;
            // A file of one chunk, the most common, needs no set.
            if (nPosition + 1 < nPositions)
                lSeenInFile.insert(oRecord.unpackedHash());
            const auto itIndex = hChunkIndex.constFind(oRecord.url());
            if (itIndex != hChunkIndex.cend()) {
                m_lChunksToDownload[*itIndex].m_lFileStates.push_back(pState);
                continue;
            }
            hChunkIndex.insert(oRecord.url(), m_lChunksToDownload.size());
            m_lChunksToDownload.emplace_back();
            m_lChunksToDownload.back().m_oRecord = oRecord;
            m_lChunksToDownload.back().m_lFileStates.push_back(pState);
        }
    }
    // The pieces at the front of every file first keeps the cache small; each
    // chunk's place is looked up once, not at every comparison. Ties go by the
    // unpacked hash, which names the chunk in its address.
    struct TPlace {
        shared::TFileSize m_nEarliest;
        const shared::TSha256Digest* m_pHash;
        size_t m_nChunk;
    };
    std::vector<TPlace> lOrder;
    lOrder.reserve(m_lChunksToDownload.size());
    for (size_t nChunk = 0; nChunk < m_lChunksToDownload.size(); ++nChunk) {
        const shared::TSha256Digest& oHash = m_lChunksToDownload[nChunk].m_oRecord.unpackedHash();
        lOrder.push_back({hEarliest.value(oHash), &oHash, nChunk});
    }
    std::sort(lOrder.begin(), lOrder.end(), [](const TPlace& oLeft, const TPlace& oRight) {
        return std::tie(oLeft.m_nEarliest, *oLeft.m_pHash, oLeft.m_nChunk)
               < std::tie(oRight.m_nEarliest, *oRight.m_pHash, oRight.m_nChunk);
    });
    std::vector<TChunkToDownload> lSorted;
    lSorted.reserve(lOrder.size());
    for (const TPlace& oPlace : lOrder)
        lSorted.push_back(std::move(m_lChunksToDownload[oPlace.m_nChunk]));
    m_lChunksToDownload = std::move(lSorted);
}

void TPackageFileDownloader::startDownload()
{
    qCInfo(lcInstallSteps) << "start download of" << m_lChunksToDownload.size() << "files Thread:" << QThread::currentThreadId();
    ++m_nRound;
    m_hChunkOfUrl.clear();
    m_lChunksNotYetWritten.clear();
    m_hRequested.clear();
    m_nNextChunk = 0;
    m_lHeldBack.clear();
    m_lChunksNotYetWritten.reserve(int(m_lChunksToDownload.size()));
    if (m_oSources.hasMirrors())
        m_hChunkOfUrl.reserve(int(m_lChunksToDownload.size()));
    for (size_t nChunk = 0; nChunk < m_lChunksToDownload.size(); ++nChunk) {
        TChunkToDownload& oChunk = m_lChunksToDownload[nChunk];
        oChunk.m_bInProgress = true;
        oChunk.m_nDownloaded = 0;
        if (m_oSources.hasMirrors())
            m_hChunkOfUrl.insert(oChunk.m_oRecord.url(), nChunk);
        m_lChunksNotYetWritten.insert(oChunk.m_oRecord.url());
    }
    m_nChunksInProgress = m_lChunksToDownload.size();
    m_bAtLeastOneDownloadFailed = m_bAtLeastOneSavingOperationFailed = m_bAtLeastOneFileWrong = false;
    m_nDownloadedTotal = m_nWrittenTotal = m_nToDownloadTotal = m_nToWriteTotal = 0;
    for (const TChunkToDownload& oChunk : m_lChunksToDownload) {
        m_nToDownloadTotal += oChunk.m_oRecord.packedSize();
        m_nToWriteTotal += oChunk.m_oRecord.unpackedSize();
    }
    m_hRetriesWaiting.clear();
    reportRetries();
    m_nPreviousDownloadedTotal = 0;
    m_nRateSampleCount = 0;
    // Bytes a run before kept go on from where they end; those of chunks no
    // longer fetched go. They count as downloaded, but not towards the rate.
    std::vector<TChunkRecord> lRecords;
    lRecords.reserve(m_lChunksToDownload.size());
    for (const TChunkToDownload& oChunk : m_lChunksToDownload)
        lRecords.push_back(oChunk.m_oRecord);
    const QHash<shared::TSha256Digest, shared::TFileSize> hKept = TPartialChunks(m_pFolder).sweep(lRecords);
    for (TChunkToDownload& oChunk : m_lChunksToDownload) {
        oChunk.m_nKept = TPartialChunks::canKeep(oChunk.m_oRecord) ? hKept.value(oChunk.m_oRecord.packedHash()) : 0;
        // A chunk with nothing kept gets its entry with its first bytes, not one per chunk now.
        if (oChunk.m_nKept > 0) {
            qCInfo(lcInstallSteps) << "going on with" << oChunk.m_oRecord.url() << "from byte" << oChunk.m_nKept;
            raiseDownloaded(oChunk, oChunk.m_nKept);
        }
    }
    m_nPreviousDownloadedTotal = m_nDownloadedTotal;
    m_oProgressTimer.start();
    if (m_lChunksToDownload.empty()) {
        // Nothing will ever report back: finish from the event loop, as a download would.
        QMetaObject::invokeMethod(this, [this] { emitFinishedSignalWhenNoMoreFilesAreOutstanding(); }, Qt::QueuedConnection);
        return;
    }
    requestWaitingChunks();
}

void TPackageFileDownloader::requestWaitingChunks()
{
    if (m_bPaused)
        return;
    const int nAtOnce = std::max(1, m_pDownloadPool->maxConcurrentDownloads());
    while (m_nNextChunk < m_lChunksToDownload.size() && m_hRequested.size() < nAtOnce) {
        const size_t nChunk = m_nNextChunk++;
        qCInfo(lcInstallSteps) << "start download of" << m_lChunksToDownload[nChunk].m_oRecord.url()
                               << "Thread:" << QThread::currentThreadId();
        requestChunk(nChunk, false);
    }
}

void TPackageFileDownloader::abandon()
{
    for (size_t nChunk = 0; nChunk < m_lChunksToDownload.size(); ++nChunk) {
        TChunkToDownload& oChunk = m_lChunksToDownload[nChunk];
        if (!oChunk.m_bInProgress)
            continue;
        const QByteArray aReceived = m_pDownloadPool->abortKeeping(addressOf(nChunk));
        if (!aReceived.isEmpty())
            keepReceived(oChunk, aReceived);
        // Retries still waiting find nothing to fetch.
        oChunk.m_bInProgress = false;
    }
    m_nChunksInProgress = 0;
    ++m_nRound;
    m_oProgressTimer.stop();
}

TChunkToDownload* TPackageFileDownloader::chunkInProgress(size_t nChunk)
{
    return nChunk < m_lChunksToDownload.size() && m_lChunksToDownload[nChunk].m_bInProgress ? &m_lChunksToDownload[nChunk]
                                                                                             : nullptr;
}

bool TPackageFileDownloader::endProgress(size_t nChunk)
{
    TChunkToDownload* pChunk = chunkInProgress(nChunk);
    if (!pChunk)
        return false;
    pChunk->m_bInProgress = false;
    --m_nChunksInProgress;
    return true;
}

void TPackageFileDownloader::keepReceived(TChunkToDownload& oChunk, const QByteArray& aData)
{
    const shared::TFileSize nKept = oChunk.m_nKept + shared::TFileSize(aData.size());
    // A whole chunk's worth that did not come as a success is no beginning of it.
    if (nKept >= oChunk.m_oRecord.packedSize() || !TPartialChunks(m_pFolder).keep(oChunk.m_oRecord, oChunk.m_nKept, aData)) {
        dropKept(oChunk);
        return;
    }
    qCInfo(lcInstallSteps) << "kept" << nKept << "bytes of" << oChunk.m_oRecord.url();
    oChunk.m_nKept = nKept;
}

void TPackageFileDownloader::dropKept(TChunkToDownload& oChunk)
{
    if (oChunk.m_nKept == 0)
        return;
    TPartialChunks(m_pFolder).drop(oChunk.m_oRecord);
    oChunk.m_nKept = 0;
}

void TPackageFileDownloader::onDownloadRestarted(QUrl Address)
{
    if (TChunkToDownload* pChunk = chunkInProgress(chunkOfAddress(Address))) {
        qCInfo(lcInstallSteps) << Address << "comes whole";
        dropKept(*pChunk);
    }
}

void TPackageFileDownloader::onPartlyReceived(QUrl Address, QByteArray Data)
{
    if (TChunkToDownload* pChunk = chunkInProgress(chunkOfAddress(Address)))
        keepReceived(*pChunk, Data);
}

bool TPackageFileDownloader::requestChunk(size_t nChunk, bool bNext)
{
    if (m_bPaused) {
        m_lHeldBack.insert(nChunk);
        return true;
    }
    TChunkToDownload& oChunk = m_lChunksToDownload[nChunk];
    for (;;) {
        const int nSource = m_oSources.next(oChunk.m_oRecord, oChunk.m_nTriedSources);
        if (nSource < 0)
            return false;
        oChunk.m_nTriedSources |= 1u << nSource;
        const QUrl oAddress = m_oSources.address(oChunk.m_oRecord, nSource);
        // A mirror laid out so that the address is another chunk's own, or one
        // asked for already, is no source of this chunk.
        if (nSource > 0 && (chunkInProgress(m_hChunkOfUrl.value(oAddress, kNoChunk)) || m_hRequested.contains(oAddress)))
            continue;
        oChunk.m_nSource = nSource;
        oChunk.m_oAddress = oAddress;
        m_hRequested.insert(oAddress, nChunk);
        // Whichever source: the bytes kept are the chunk's, not the server's.
        m_pDownloadPool->downloadFrom(oAddress, qint64(oChunk.m_nKept), bNext);
        return true;
    }
}

bool TPackageFileDownloader::pause()
{
    if (m_bPaused)
        return true;
    if (m_hRequested.isEmpty() && m_hRetriesWaiting.isEmpty() && m_nNextChunk >= m_lChunksToDownload.size())
        return false;
    m_bPaused = true;
    // No slot may free up for a queued request while the running ones are stopped.
    m_nLimitBeforePause = m_pDownloadPool->maxConcurrentDownloads();
    m_pDownloadPool->setMaxConcurrentDownloads(0);
    const QHash<QUrl, size_t> hStopped = std::exchange(m_hRequested, {});
    for (auto it = hStopped.cbegin(); it != hStopped.cend(); ++it) {
        const QByteArray aReceived = m_pDownloadPool->abortKeeping(it.key());
        TChunkToDownload* pChunk = chunkInProgress(it.value());
        if (!pChunk)
            continue;
        // The stopped source did not fail: it is asked again, from what it sent.
        if (!aReceived.isEmpty())
            keepReceived(*pChunk, aReceived);
        pChunk->m_nTriedSources &= ~(1u << pChunk->m_nSource);
        m_lHeldBack.insert(it.value());
    }
    return true;
}

void TPackageFileDownloader::resume()
{
    if (!m_bPaused)
        return;
    m_bPaused = false;
    m_pDownloadPool->setMaxConcurrentDownloads(m_nLimitBeforePause);
    // The rate goes on from here, not from the bytes before the pause.
    m_nPreviousDownloadedTotal = m_nDownloadedTotal;
    for (const size_t nChunk : std::exchange(m_lHeldBack, {})) {
        if (chunkInProgress(nChunk))
            requestChunk(nChunk, false);
    }
    requestWaitingChunks();
}

const QUrl& TPackageFileDownloader::addressOf(size_t nChunk) const
{
    const TChunkToDownload& oChunk = m_lChunksToDownload[nChunk];
    return oChunk.m_oAddress.isEmpty() ? oChunk.m_oRecord.url() : oChunk.m_oAddress;
}

void TPackageFileDownloader::onDownloadCompleted(QUrl Address, QByteArray Data)
{
    qCInfo(lcInstallSteps) << "onDownloadCompleted" << Address << "Thread:" << QThread::currentThreadId();
    size_t nChunk = kNoChunk;
    if (const auto it = m_hRequested.find(Address); it != m_hRequested.end()) {
        nChunk = it.value();
        m_hRequested.erase(it);
    }
    requestWaitingChunks();
    TChunkToDownload* pChunk = chunkInProgress(nChunk);
    if (!pChunk) {
        m_pDownloadPool->release(Address);
        return;
    }
    if (m_hRetriesWaiting.remove(nChunk) > 0)
        reportRetries();
    TChunkToDownload& oChunk = *pChunk;
    if (oChunk.m_nKept + shared::TFileSize(Data.size()) != oChunk.m_oRecord.packedSize()) {
        const shared::TFileSize nKept = oChunk.m_nKept;
        dropKept(oChunk);
        retryOrGiveUp(nChunk, QStringLiteral("Download of %1 brought %2 bytes instead of %3.")
                                  .arg(Address.toString())
                                  .arg(Data.size())
                                  .arg(oChunk.m_oRecord.packedSize() - nKept));
        return;
    }
    raiseDownloaded(oChunk, oChunk.m_oRecord.packedSize());
    // The result comes back as a queued call rather than through a watcher: a
    // watcher a chunk asked the system for the processor count each time. The
    // call is posted before the task ends, and this object waits for its tasks
    // before it goes, so it is delivered or dropped with the object.
    m_oChunkWork.post(
        [this, oChunk, Data = std::move(Data), nChunk, nRound = m_nRound]() mutable {
            TChunkResult oResult = processDownloadedData(std::move(oChunk), std::move(Data));
            QMetaObject::invokeMethod(
                this,
                [this, nChunk, nRound, oResult = std::move(oResult)] {
                    if (nRound == m_nRound)
                        onChunkProcessed(nChunk, oResult);
                },
                Qt::QueuedConnection);
        },
        false);
    // Answers come in bursts, one per connection: the runners are woken once the
    // burst is read, not once for each of its chunks.
    if (!m_bChunkWorkWakeDue) {
        m_bChunkWorkWakeDue = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_bChunkWorkWakeDue = false;
                m_oChunkWork.wake();
            },
            Qt::QueuedConnection);
    }
}

TPackageFileDownloader::TChunkResult TPackageFileDownloader::processDownloadedData(TChunkToDownload oChunk, QByteArray aData)
{
    const QUrl& oUrl = oChunk.m_oRecord.url();
    try {
        if (oChunk.m_nKept > 0)
            aData.prepend(TPartialChunks(m_pFolder).read(oChunk.m_oRecord, oChunk.m_nKept));
    } catch (const std::exception& oError) {
        return {VerificationFailedForChunk, QString::fromUtf8(oError.what()), {}};
    }
    try {
        if (oChunk.m_oRecord.unpack()) {
            qCInfo(lcInstallSteps) << "processDownloadedData decompress" << oUrl << "Thread:" << QThread::currentThreadId();
            aData = decompressDownloadedData(oChunk, aData);
        }
        qCInfo(lcInstallSteps) << "processDownloadedData verify" << oUrl << "Thread:" << QThread::currentThreadId();
        aData = verifyDownloadedData(oChunk, aData);
    } catch (const shared::TDecompressionError& oError) {
        return {DecompressionFailed, QString::fromUtf8(oError.what()), {}};
    } catch (const std::exception& oError) {
        return {VerificationFailedForChunk, QString::fromUtf8(oError.what()), {}};
    }
    TChunkResult oResult;
    try {
        qCInfo(lcInstallSteps) << "processDownloadedData save" << oUrl << "Thread:" << QThread::currentThreadId();
        saveDownloadedData(oChunk, aData, oResult.m_lWritten);
    } catch (const TFileHashMismatch& oError) {
        oResult.m_eOutcome = FileHashMismatch;
        oResult.m_sMessage = QString::fromUtf8(oError.what());
    } catch (const std::exception& oError) {
        oResult.m_eOutcome = SavingFailedForChunk;
        oResult.m_sMessage = QString::fromUtf8(oError.what());
    } catch (...) {
        oResult.m_eOutcome = SavingFailedForChunk;
        oResult.m_sMessage = QStringLiteral("Saving %1 failed.").arg(oUrl.toString());
    }
    return oResult;
}

QByteArray TPackageFileDownloader::decompressDownloadedData(const TChunkToDownload& oChunk, const QByteArray& aData) const
{
    qCDebug(lcInstallSteps) << "decompressDownloadedData" << oChunk.m_oRecord.url() << "started";
    // The record says how large the chunk is: a stream that claims more is hostile.
    QByteArray aUnpacked = shared::unpackStrict(aData, oChunk.m_oRecord.unpackedSize());
    qCDebug(lcInstallSteps) << "decompressDownloadedData" << oChunk.m_oRecord.url() << "finished";
    return aUnpacked;
}

QByteArray TPackageFileDownloader::verifyDownloadedData(const TChunkToDownload& oChunk, const QByteArray& aData) const
{
    qCDebug(lcInstallSteps) << "verifyDownloadedData" << oChunk.m_oRecord.url() << "started";
    if (shared::TFileSize(aData.size()) != oChunk.m_oRecord.unpackedSize()
        || oChunk.m_oRecord.unpackedHash() != shared::TSha256::hash(aData)) {
        qCInfo(lcInstallSteps) << "saveDownloadedData failed: invalid hash";
        throw std::runtime_error(QStringLiteral("verify of url '%1' failed").arg(oChunk.m_oRecord.url().toString()).toStdString());
    }
    qCDebug(lcInstallSteps) << "verifyDownloadedData" << oChunk.m_oRecord.url() << "finished";
    return aData;
}

void TPackageFileDownloader::onChunkProcessed(size_t nChunk, const TChunkResult& oResult)
{
    // Written, or joined into a chunk that failed its check: either way the kept
    // bytes are done with, and a next attempt starts from the first byte.
    if (TChunkToDownload* pChunk = chunkInProgress(nChunk))
        dropKept(*pChunk);
    for (const auto& [oWritten, nBytes] : oResult.m_lWritten)
        countWritten(oWritten, nBytes);
    const QUrl& oUrl = m_lChunksToDownload[nChunk].m_oRecord.url();
    switch (oResult.m_eOutcome) {
    case Saved:
        qCInfo(lcInstallSteps) << "processDownloadedData save completed" << oUrl << "Thread:" << QThread::currentThreadId();
        processFinishedData(nChunk);
        return;
    case DecompressionFailed:
        // Bytes damaged on the way, as a wrong hash is: another attempt may bring them whole.
        qWarning() << "Failed to decompress file downloaded from" << oUrl;
        retryOrGiveUp(nChunk, QStringLiteral("The chunk %1 could not be unpacked.").arg(oUrl.toString()));
        return;
    case VerificationFailedForChunk:
        qWarning() << "Failed to verify file downloaded from" << oUrl;
        retryOrGiveUp(nChunk, oResult.m_sMessage);
        return;
    case FileHashMismatch:
        qCritical() << oResult.m_sMessage;
        m_sErrorMessage = oResult.m_sMessage;
        m_pDownloadPool->release(addressOf(nChunk));
        endProgress(nChunk);
        m_bAtLeastOneFileWrong = true;
        break;
    case SavingFailedForChunk:
        qWarning() << "Failed to save file downloaded from" << oUrl << "Thread:" << QThread::currentThreadId()
                   << oResult.m_sMessage;
        m_sErrorMessage = oResult.m_sMessage;
        m_pDownloadPool->release(addressOf(nChunk));
        endProgress(nChunk);
        m_bAtLeastOneSavingOperationFailed = true;
        break;
    }
    emitFinishedSignalWhenNoMoreFilesAreOutstanding();
}

void TPackageFileDownloader::retryOrGiveUp(size_t nChunk, const QString& sWhat)
{
    // abort() frees the slot of a request still running (a reply too long);
    // a finished one only needs its slot back.
    const QUrl oAddress = addressOf(nChunk);
    m_pDownloadPool->abort(oAddress);
    m_pDownloadPool->release(oAddress);
    if (chunkOfAddress(oAddress) == nChunk)
        m_hRequested.remove(oAddress);
    if (!chunkInProgress(nChunk)) {
        requestWaitingChunks();
        return;
    }
    TChunkToDownload& oChunk = m_lChunksToDownload[nChunk];
    const QUrl& oUrl = oChunk.m_oRecord.url();
    // Another source before the failure counts as an attempt: the chunk's hash,
    // not its server, vouches for its bytes.
    if (m_oSources.hasMirrors()) {
        if (m_oSources.noteFailure(oChunk.m_nSource))
            qWarning() << "Download source" << oChunk.m_nSource << "of" << oAddress.host() << "failed"
                       << TChunkSources::kDemotingFailures << "times in a row; it is tried last from now on";
        if (requestChunk(nChunk, true)) {
            qCInfo(lcInstallSteps) << "Trying" << oUrl << "at" << oChunk.m_oAddress << "after:" << sWhat;
            requestWaitingChunks();
            return;
        }
    }
    oChunk.m_nTriedSources = 0;
    requestWaitingChunks();
    if (oChunk.m_nRetryCount >= shared::TDownloadRetries::kAttempts - 1) {
        qCritical() << "Download of" << oUrl << "failed:" << sWhat;
        m_sErrorMessage = sWhat;
        endProgress(nChunk);
        m_bAtLeastOneDownloadFailed = true;
        m_hRetriesWaiting.remove(nChunk);
        reportRetries();
        emitFinishedSignalWhenNoMoreFilesAreOutstanding();
        return;
    }
    ++oChunk.m_nRetryCount;
    const int nDelay = shared::TDownloadRetries::delayBeforeRetry(oChunk.m_nRetryCount);
    qCInfo(lcInstallSteps) << "Retry" << oUrl << "in" << nDelay << "ms Thread:" << QThread::currentThreadId();
    m_hRetriesWaiting.insert(nChunk, oChunk.m_nRetryCount + 1);
    reportRetries();
    QTimer::singleShot(nDelay, this, [this, nChunk, nRound = m_nRound] {
        if (nRound == m_nRound && chunkInProgress(nChunk))
            requestChunk(nChunk, false);
    });
}

void TPackageFileDownloader::processFinishedData(size_t nChunk)
{
    TChunkToDownload& oChunk = m_lChunksToDownload[nChunk];
    qCInfo(lcInstallSteps) << "processFinishedData:" << oChunk.m_oRecord.url() << "Thread:" << QThread::currentThreadId();
    m_pDownloadPool->release(addressOf(nChunk));
    // Out of progress, no attempt of it reports bytes any more: its count stays in the total.
    if (!endProgress(nChunk))
        return;
    m_oSources.noteSuccess(oChunk.m_nSource);
    // Every place of the chunk has its bytes: a file goes with the last chunk
    // that held it, rather than every file staying until the download ends.
    std::vector<std::shared_ptr<TChunkedFileState>>().swap(oChunk.m_lFileStates);
    emitFinishedSignalWhenNoMoreFilesAreOutstanding();
}

void TPackageFileDownloader::onDownloadFailed(QUrl Address, QNetworkReply::NetworkError Code, QString ErrorString)
{
    qCInfo(lcInstallSteps) << "onDownloadFailed" << Address << Code << "Thread:" << QThread::currentThreadId();
    const size_t nChunk = chunkOfAddress(Address);
    const QString sWhat = QStringLiteral("Download of %1 failed: %2").arg(Address.toString(), ErrorString);
    if (nChunk != kNoChunk) {
        retryOrGiveUp(nChunk, sWhat);
        return;
    }
    // No request of ours is waiting for it: its slot is all there is to give back.
    qCInfo(lcInstallSteps) << sWhat;
    m_pDownloadPool->abort(Address);
    m_pDownloadPool->release(Address);
    requestWaitingChunks();
}

void TPackageFileDownloader::onDownloadProgress(QUrl Address, qint64 DownloadedBytes)
{
    const size_t nChunk = chunkOfAddress(Address);
    TChunkToDownload* pChunk = chunkInProgress(nChunk);
    if (!pChunk || DownloadedBytes < 0)
        return;
    TChunkToDownload& oChunk = *pChunk;
    const QUrl& Url = oChunk.m_oRecord.url();
    const shared::TFileSize nPacked = oChunk.m_oRecord.packedSize();
    if (oChunk.m_nKept + shared::TFileSize(DownloadedBytes) > nPacked) {
        // A reply longer than the chunk is wrong whatever follows: stop it now
        // rather than hold an unbounded body in memory. The bytes kept may be
        // what makes it too long.
        qWarning() << "Download of" << Url << "is longer than" << nPacked << "bytes";
        const shared::TFileSize nRest = nPacked - oChunk.m_nKept;
        dropKept(oChunk);
        retryOrGiveUp(nChunk, QStringLiteral("The server sent more than %1 bytes for %2.").arg(nRest).arg(Url.toString()));
        return;
    }
    // Only bytes beyond what earlier attempts brought: an error page as short
    // as the last one is no sign that the chunk comes now.
    const shared::TFileSize nReceived = oChunk.m_nKept + shared::TFileSize(DownloadedBytes);
    if (nReceived <= oChunk.m_nDownloaded)
        return;
    raiseDownloaded(oChunk, nReceived);
    if (m_hRetriesWaiting.remove(nChunk) > 0)
        reportRetries();
}

void TPackageFileDownloader::reportRetries()
{
    int nHighest = 0;
    for (const int nAttempt : qAsConst(m_hRetriesWaiting))
        nHighest = std::max(nHighest, nAttempt);
    if (nHighest == m_nRetryReported)
        return;
    m_nRetryReported = nHighest;
    emit retryWaiting(nHighest, shared::TDownloadRetries::kAttempts);
}

void TPackageFileDownloader::countWritten(const QUrl& oUrl, shared::TFileSize nBytes)
{
    // Each chunk is counted once: the set says whether it was.
    if (m_lChunksNotYetWritten.remove(oUrl))
        m_nWrittenTotal += nBytes;
    emit writeProgress(oUrl, nBytes);
}

void TPackageFileDownloader::onProgressTick()
{
    // Nothing moves while paused: no sample of zeros drags the rate down.
    if (m_bPaused)
        return;
    const shared::TFileSize nTotal = m_nDownloadedTotal;
    // Totals only grow (see TChunkToDownload::m_nDownloaded), so the sample never wraps.
    const shared::TFileSize nSample = nTotal >= m_nPreviousDownloadedTotal ? nTotal - m_nPreviousDownloadedTotal : 0;
    m_nPreviousDownloadedTotal = nTotal;
    if (m_nRateSampleCount == 0) {
        m_fRateMean = double(nSample);
        m_nRateSmallest = m_nRateLargest = nSample;
    } else {
        m_fRateMean = (m_fRateMean * double(m_nRateSampleCount) + double(nSample)) / double(m_nRateSampleCount + 1);
        m_nRateSmallest = std::min(m_nRateSmallest, nSample);
        m_nRateLargest = std::max(m_nRateLargest, nSample);
    }
    if (++m_nRateSampleCount > 30) {
        const shared::TFileSize nMean = shared::TFileSize(m_fRateMean);
        m_nRateSampleCount = 1;
        m_fRateMean = double(nMean);
        m_nRateSmallest = m_nRateLargest = nMean;
    }
    emitProgress();
}

void TPackageFileDownloader::emitProgress()
{
    emit progress(std::min(m_nDownloadedTotal, m_nToDownloadTotal), m_nToDownloadTotal,
                  std::min(m_nWrittenTotal, m_nToWriteTotal), m_nToWriteTotal);
}

void TPackageFileDownloader::raiseDownloaded(TChunkToDownload& oChunk, shared::TFileSize nBytes)
{
    m_nDownloadedTotal += nBytes - oChunk.m_nDownloaded;
    oChunk.m_nDownloaded = nBytes;
}

void TPackageFileDownloader::emitFinishedSignalWhenNoMoreFilesAreOutstanding()
{
    qCInfo(lcInstallSteps) << "emitFinishedSignalWhenNoMoreFilesAreOutstanding ActiveDownloads:" << m_pDownloadPool->activeDownloads()
            << "FilesInProgress:" << m_nChunksInProgress << "AtLeastOneDownloadFailed" << m_bAtLeastOneDownloadFailed
            << "AtLeastOneSavingOperationFailed" << m_bAtLeastOneSavingOperationFailed
            << "Thread:" << QThread::currentThreadId();
    if (m_nChunksInProgress > 0 || !m_oProgressTimer.isActive())
        return;
    m_nRateSampleCount = 0;
    m_oProgressTimer.stop();
    emitProgress();
    if (m_bAtLeastOneDownloadFailed)
        emit downloadFailed(DownloadFailed);
    else if (m_bAtLeastOneSavingOperationFailed)
        emit downloadFailed(SavingFailed);
    else if (m_bAtLeastOneFileWrong)
        emit downloadFailed(VerificationFailed);
    else if (const QString sUnfinished = unfinishedFile(); !sUnfinished.isEmpty()) {
        // Every chunk address is done, yet a file is not: the end is counted in files.
        m_sErrorMessage = QStringLiteral("The download ended before \"%1\" was written whole.").arg(sUnfinished);
        qCritical() << m_sErrorMessage;
        emit downloadFailed(VerificationFailed);
    } else {
        emit downloadCompleted();
    }
}

QString TPackageFileDownloader::unfinishedFile() const
{
    const std::vector<QString> lCompleted = completedFiles();
    QSet<QString> lDone(lCompleted.begin(), lCompleted.end());
    // A file left to recheck is the installation's to mend, not one the download lost.
    for (const QString& sFile : filesToRecheck())
        lDone.insert(sFile);
    for (const QString& sFile : m_lFilesGiven) {
        if (!lDone.contains(sFile))
            return sFile;
    }
    return QString();
}

} // namespace velmar::launcher
