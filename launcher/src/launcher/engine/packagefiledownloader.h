#pragma once

#include "chunksources.h"
#include "chunktodownload.h"
#include "filetodownload.h"
#include "installationmode.h"
#include "packagedownloadererror.h"
#include "taskqueue.h"

#include "shared/checkedfile.h"
#include "shared/filesize.h"

#include <QDir>
#include <QFuture>
#include <QHash>
#include <QMutex>
#include <QNetworkReply>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <limits>
#include <memory>
#include <set>
#include <vector>

namespace shared {
class TConfinedFolder;
class TDownloadPool;
}

namespace velmar::launcher {

class TLauncherFilesystemHelper;
struct TChunkedFileState;
struct TPendingChunk;

// Bytes per second from the downloader's mean per 100 ms tick; a mean that is
// negative or not a number reads as 0 rather than wrapping to an absurd rate.
shared::TFileSize bytesPerSecondFromTickMean(double fMeanPerTick);

// Turns the files an installation still has to fetch into chunk downloads: each
// distinct chunk is fetched once through the pool, unpacked, checked against its
// hash and written wherever a file needs its bytes, files front to back, chunks
// that arrive early waiting in a bounded cache. Lives on the GUI thread; the
// per-chunk work runs on the global thread pool.
class TPackageFileDownloader : public QObject
{
    Q_OBJECT

public:
    // Chunks kept in memory for later places, in bytes, whatever maxCachedChunks allows.
    static constexpr shared::TFileSize kMaximumCachedBytes = shared::TFileSize(128) << 20;

    TPackageFileDownloader(std::shared_ptr<shared::TDownloadPool> Pool,
                           std::shared_ptr<TLauncherFilesystemHelper> FilesystemHelper);
    // Waits for the chunk tasks still running, which use the downloader.
    ~TPackageFileDownloader() override;

    // The package folder every file is written into.
    void setTargetFolder(std::shared_ptr<shared::TConfinedFolder> pFolder) { m_pFolder = std::move(pFolder); }
    void setInstallationMode(int nMode) { m_nInstallationMode = nMode; }
    void setFilesToDownload(std::vector<TFileToDownload> lFiles);
    // Base addresses that serve a copy of the package document's folder; chunks
    // listed at relative addresses are tried there when their own address fails.
    void setMirrors(std::vector<QUrl> lMirrors) { m_oSources.setMirrors(std::move(lMirrors)); }
    void startDownload();
    // Stops every transfer under way and starts none until resume(); chunks
    // fetched, written or waiting in the cache stay. False, and nothing held,
    // when no chunk is left to fetch.
    bool pause();
    // Fetches what the pause stopped, front of the files first, then the rest.
    void resume();
    bool isPaused() const { return m_bPaused; }
    // Chunks not yet fetched, the ones the pause stopped among them.
    int chunksLeftToFetch() const { return m_lHeldBack.size() + int(m_lChunksToDownload.size() - m_nNextChunk); }
    // Ends the download where it stands: every transfer under way stops, the
    // bytes it has received kept for the next run; nothing more is reported.
    void abandon();

    quint64 rateSampleCount() const { return m_nRateSampleCount; }
    double rateMean() const { return m_fRateMean; }
    // The running mean per 100 ms tick as bytes per second; 0 while there is no sample.
    shared::TFileSize bytesPerSecond() const;
    // Target files written to their end and checked against their hash; read
    // once the download has ended.
    std::vector<QString> completedFiles() const;
    // Target files built partly from bytes kept on the disk that failed their
    // check: neither complete nor failed, they are the installation's to recheck.
    // Read once the download has ended.
    std::vector<QString> filesToRecheck() const;
    // What went wrong last, in words, for a failure worth telling.
    const QString& errorMessage() const { return m_sErrorMessage; }

signals:
    void downloadCompleted();
    // A chunk written into a file, told once the work that wrote it is done.
    void writeProgress(QUrl Url, shared::TFileSize DownloadedBytes);
    void progress(shared::TFileSize BytesDownloaded, shared::TFileSize BytesTotalToDownload,
                  shared::TFileSize BytesWritten, shared::TFileSize BytesTotalToWrite);
    void downloadFailed(velmar::launcher::EPackageDownloaderError ErrorReason);
    // Chunks wait to be fetched again: Attempt is the highest attempt among them
    // (2 for a first retry), of Attempts in all; 0 once none waits any more,
    // that is once every retried chunk brought new bytes, was fetched or was given up.
    void retryWaiting(int Attempt, int Attempts);

private slots:
    void onDownloadCompleted(QUrl Url, QByteArray Data);
    void onDownloadFailed(QUrl Url, QNetworkReply::NetworkError Code, QString ErrorString);
    void onDownloadProgress(QUrl Url, qint64 DownloadedBytes);
    void onDownloadRestarted(QUrl Url);
    void onPartlyReceived(QUrl Url, QByteArray Data);
    void onProgressTick();

private:
    enum EChunkOutcome
    {
        Saved,
        DecompressionFailed,
        VerificationFailedForChunk,
        SavingFailedForChunk,
        FileHashMismatch,
    };
    using TWrittenChunks = std::vector<std::pair<QUrl, shared::TFileSize>>;
    struct TChunkResult
    {
        EChunkOutcome m_eOutcome = Saved;
        QString m_sMessage;
        // Each chunk written into a file by this work, with its size, also when
        // the work failed after it: told with the result rather than by a queued
        // signal of its own for every chunk.
        TWrittenChunks m_lWritten;
    };

    QByteArray decompressDownloadedData(const TChunkToDownload& oChunk, const QByteArray& aData) const;
    QByteArray verifyDownloadedData(const TChunkToDownload& oChunk, const QByteArray& aData) const;
    void saveDownloadedData(const TChunkToDownload& oChunk, const QByteArray& aData,
                            TWrittenChunks& lWritten);
    // Counts a chunk written into a file towards the bytes written, once per chunk.
    void countWritten(const QUrl& oUrl, shared::TFileSize nBytes);
    // Unpacks, checks and saves one chunk on a pool thread.
    TChunkResult processDownloadedData(TChunkToDownload oChunk, QByteArray aData);
    void onChunkProcessed(size_t nChunk, const TChunkResult& oResult);
    void retryOrGiveUp(size_t nChunk, const QString& sWhat);
    // The chunk nChunk while it is in progress, or null.
    TChunkToDownload* chunkInProgress(size_t nChunk);
    // Takes the chunk out of progress; false when it was not in it.
    bool endProgress(size_t nChunk);
    // Adds what an attempt received to the chunk's kept bytes.
    void keepReceived(TChunkToDownload& oChunk, const QByteArray& aData);
    // The next attempt of the chunk starts from its first byte.
    void dropKept(TChunkToDownload& oChunk);
    // Hands the pool as many chunks not yet asked for as it runs at once, so
    // that each picks its source when its turn comes, not when it was queued.
    void requestWaitingChunks();
    // Asks the pool for the chunk at the next source of its attempt; false when
    // every source was tried.
    bool requestChunk(size_t nChunk, bool bNext);
    // The address the chunk's current try fetches it from (its own URL until asked for).
    const QUrl& addressOf(size_t nChunk) const;
    // The chunk a pool address belongs to, or kNoChunk.
    size_t chunkOfAddress(const QUrl& oAddress) const { return m_hRequested.value(oAddress, kNoChunk); }
    void processFinishedData(size_t nChunk);
    void emitFinishedSignalWhenNoMoreFilesAreOutstanding();
    // A file given to this downloader (in its last round) that was neither written
    // to its end nor left to recheck, or empty.
    QString unfinishedFile() const;
    void emitProgress();
    void raiseDownloaded(TChunkToDownload& oChunk, shared::TFileSize nBytes);
    // Tells retryWaiting when the highest attempt waiting changed.
    void reportRetries();

    // The writer's steps (chunkwriter.cpp), under the file state's lock.
    void writeIntoFile(const TChunkToDownload& oChunk, const QByteArray& aData, TChunkedFileState& oState,
                       bool& bCached, TWrittenChunks& lWritten);
    void prepareTarget(TChunkedFileState& oState);
    void openTarget(TChunkedFileState& oState);
    // Writes a chunk's bytes at their place, past the page cache where the file's appender takes them.
    void writeChunkBytes(TChunkedFileState& oState, shared::TFileSize nOffset, const QByteArray& aBytes);
    bool fetchCached(const TChunkRecord& oRecord, QByteArray& aBytes);
    void releaseUse(const TChunkRecord& oRecord);
    void cacheChunk(const TChunkToDownload& oChunk, const QByteArray& aData);
    void dropPending(QHash<shared::TSha256Digest, std::shared_ptr<TPendingChunk>>::iterator it);
    void catchUpHash(TChunkedFileState& oState, shared::TFileSize nOffset, QFile* pLog);
    void completeFile(TChunkedFileState& oState);

    std::shared_ptr<shared::TDownloadPool> m_pDownloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_pFilesystemHelper;
    std::shared_ptr<shared::TConfinedFolder> m_pFolder;
    bool m_bAtLeastOneDownloadFailed = false;
    bool m_bAtLeastOneSavingOperationFailed = false;
    bool m_bAtLeastOneFileWrong = false;
    int m_nInstallationMode = kOrdinaryPackage;
    static constexpr size_t kNoChunk = std::numeric_limits<size_t>::max();
    // Chunks are named by their index into m_lChunksToDownload: hashing their
    // URLs a dozen times a chunk cost a tenth of the event loop.
    std::vector<TChunkToDownload> m_lChunksToDownload;
    std::vector<QString> m_lFilesGiven;
    // Chunks not yet finished or given up (TChunkToDownload::m_bInProgress).
    size_t m_nChunksInProgress = 0;
    // Each chunk's own URL → its index; built only with mirrors, whose addresses
    // must not be another chunk's.
    QHash<QUrl, size_t> m_hChunkOfUrl;
    // Bumped by every new list, start and abandon: work and timers of an earlier round
    // find its indices naming other chunks, and must leave them alone.
    quint64 m_nRound = 0;
    QSet<QUrl> m_lChunksNotYetWritten;
    TChunkSources m_oSources;
    // Pool address → chunk, for requests whose outcome has not yet come.
    QHash<QUrl, size_t> m_hRequested;
    // The first chunk of m_lChunksToDownload not yet asked for.
    size_t m_nNextChunk = 0;
    bool m_bPaused = false;
    bool m_bChunkWorkWakeDue = false;
    // Chunks (indices into m_lChunksToDownload) the pause stopped or kept from
    // being asked for; asked for again on resume.
    std::set<size_t> m_lHeldBack;
    int m_nLimitBeforePause = 0;
    // The sum of the chunks' downloaded bytes (TChunkToDownload::m_nDownloaded),
    // the bytes written and the chunks' sizes, kept as they change: summing a
    // package of a hundred thousand chunks ten times a second cost a sixth of the install.
    shared::TFileSize m_nDownloadedTotal = 0;
    shared::TFileSize m_nWrittenTotal = 0;
    shared::TFileSize m_nToDownloadTotal = 0;
    shared::TFileSize m_nToWriteTotal = 0;
    // Per chunk waiting to be fetched again, the attempt it waits for.
    QHash<size_t, int> m_hRetriesWaiting;
    int m_nRetryReported = 0;
    QTimer m_oProgressTimer;
    shared::TFileSize m_nPreviousDownloadedTotal = 0;
    quint64 m_nRateSampleCount = 0;
    shared::TFileSize m_nRateSmallest = 0;
    shared::TFileSize m_nRateLargest = 0;
    double m_fRateMean = 0;
    QString m_sErrorMessage;
    // Guards the pending chunks and their counts; taken after a file state's lock.
    QMutex m_oCacheLock;
    QHash<shared::TSha256Digest, std::shared_ptr<TPendingChunk>> m_hPendingChunks;
    int m_nCachedChunkCount = 0;
    shared::TFileSize m_nCachedBytes = 0;
    // Chunks past the cache's limits wait in one unnamed temporary file, each
    // at its own offset; opened at the first, under the cache lock.
    shared::TCheckedFile m_oSpill;
    shared::TFileSize m_nSpillEnd = 0;
    // Unpacks, checks and writes the chunks as they come.
    TTaskQueue m_oChunkWork{QThreadPool::globalInstance()->maxThreadCount()};
    mutable QMutex m_oCompletedLock;
    std::vector<QString> m_lCompletedFiles;
    std::vector<QString> m_lFilesToRecheck;
};

} // namespace velmar::launcher
