#pragma once

#include "chunkstore.h"
#include "publishedclient.h"
#include "readcache.h"
#include "sourcetree.h"

#include "shared/packer.h"

#include <QAtomicInteger>
#include <QHash>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <deque>
#include <memory>
#include <vector>

class TProgressReporter;

namespace velmar::launcher {
class THashingChunker;
}

struct TBuildOptions
{
    QString sSource;
    QString sOutput;
    QString sVersion;
    QString sExecutable;
    QString sAssetVersion;
    // Relative to the source; empty: no asset document.
    QString sAssets;
    QStringList lParameters;
    QString sGeneration = QStringLiteral("second");
    QString sVariant = QStringLiteral("regular");
    shared::EPackMethod eMethod = shared::EPackMethod::Lzma;
    int nLevel = shared::kDefaultPackLevel;
    int nJobs = 1;
};

// Publishes one version of a client folder into a CDN folder: the chunk files
// below chunks/, then package.json and, with assets, assets.json.
//
// The calling thread reads and chunks the files one after the other (hashing on a
// second thread of the global pool), except those
// that the folder's read cache shows unchanged since an earlier build whose chunk
// files are still there; packing and writing run on nJobs threads. At most two chunks per thread wait in memory, so
// memory stays bounded whatever the size of the client. The run holds the CDN
// folder's lock throughout. The documents are written last, only when every
// chunk is in place, and renamed into place back to back; a run that fails or is
// interrupted removes the chunk files and folders it created.
class TPublisher
{
public:
    explicit TPublisher(TBuildOptions oOptions);
    ~TPublisher();
    TPublisher(const TPublisher&) = delete;
    TPublisher& operator=(const TPublisher&) = delete;

    // Runs the whole build and reports on standard output and error; returns the
    // exit code: 0 published, 1 failed (nothing published), 2 bad options.
    int run();

private:
    // The files to publish, or an exit code when the source or options do not allow it.
    int takeStock(const TSourceTree& oTree);
    void publishFiles(const std::vector<TSourceFile>& lSources, TProgressReporter& oProgress);
    void readFile(const TSourceFile& oSource, TPublishedFile& oFile, velmar::launcher::THashingChunker& oChunker,
                  TProgressReporter& oProgress);
    // Fills the file in from the cache when every chunk file it needs is still
    // in place; false leaves it untouched, to be read.
    bool takeFromCache(const TReadCache::TFile& oCached, TPublishedFile& oFile);
    // The packed form of a chunk that the cache knows and whose file is still there.
    const TReadCache::TPackedChunk* cachedPackedChunk(const QByteArray& aHash) const;
    // Sets the file's hash and the packed form of a file of one chunk once its
    // chunks are known; aChunkedHash is the hash of a file of two or more chunks.
    void completeFile(TPublishedFile& oFile, const QByteArray& aChunkedHash);
    int chunkIndex(const QByteArray& aHash, const char* pBytes, size_t nLength, TProgressReporter& oProgress);
    // The index of a chunk already in the table, or -1.
    int knownChunkIndex(const QByteArray& aHash, size_t nLength);
    TPublishedChunk& newChunk(const QByteArray& aHash, size_t nLength);
    void storeChunk(TPublishedChunk* pChunk, const QByteArray& aBytes);
    // Throws with every document as it was before.
    void writeDocuments();
    void saveCache(const TSourceTree& oTree);
    void failWith(const QString& sError);
    QString progressDetail() const;

    TBuildOptions m_oOptions;
    QString m_sOutputFolder;
    std::unique_ptr<TChunkStore> m_pStore;
    std::unique_ptr<TReadCache> m_pCache;
    int m_nReadFiles = 0;
    quint64 m_nReadBytes = 0;
    std::vector<TPublishedFile> m_lFiles;
    // Grows only on the calling thread; a deque keeps the entries that workers
    // fill in where they are.
    std::deque<TPublishedChunk> m_lChunks;
    QHash<QByteArray, int> m_hChunkIndex;

    QMutex m_oErrorMutex;
    QString m_sError;
    QAtomicInteger<int> m_bFailed{0};
    QAtomicInteger<quint64> m_nDoneBytes{0};
    QAtomicInteger<quint64> m_nWrittenFiles{0};
    QAtomicInteger<quint64> m_nWrittenBytes{0};
    QAtomicInteger<quint64> m_nRepairedFiles{0};
    QString m_sRemovedAssetDocument;

    QSemaphore m_oSlots;
    // Last, so that it is destroyed first, waiting for the workers while
    // everything they use still exists.
    QThreadPool m_oPool;
};
