#include "hashingchunker.h"

#include "crashpoint.h"

#include "shared/checkedfile.h"
#include "shared/ioerror.h"
#include "shared/sha256.h"

#include <QAtomicInt>
#include <QSemaphore>
#include <QtConcurrent>

#include <cerrno>
#include <exception>
#include <memory>
#include <utility>

namespace velmar::launcher {

namespace {

// One chunk's hash, done by whichever of the pool task and the calling thread
// claims it first. Shared with the task, which may start after the scan ended.
struct THashJob
{
    const char* pChunk = nullptr;
    size_t nLength = 0;
    QByteArray aHash;
    std::exception_ptr pError;
    QAtomicInt nClaimed{0};
    QSemaphore oDone;

    bool claim() { return nClaimed.testAndSetOrdered(0, 1); }
    void run()
    {
        try {
            aHash = shared::TSha256::hash(pChunk, nLength);
        } catch (...) {
            pError = std::current_exception();
        }
    }
};

void settle(THashJob& oJob)
{
    if (oJob.claim())
        oJob.run();
    else
        oJob.oDone.acquire();
}

// The chunk cut last, being hashed. Its bytes must not move before it is
// reported, which every way out of the scan waits for.
class TPendingHash
{
public:
    explicit TPendingHash(const THashedChunkCallback& fnCallback) : m_fnCallback(fnCallback) {}
    ~TPendingHash()
    {
        if (m_pJob)
            settle(*m_pJob);
    }
    TPendingHash(const TPendingHash&) = delete;
    TPendingHash& operator=(const TPendingHash&) = delete;

    // Hashing of this chunk starts before the one before is reported, so that
    // the report runs alongside it.
    void start(const char* pChunk, size_t nLength)
    {
        auto pNext = std::make_shared<THashJob>();
        pNext->pChunk = pChunk;
        pNext->nLength = nLength;
        QtConcurrent::run([pNext]() {
            if (pNext->claim()) {
                pNext->run();
                pNext->oDone.release();
            }
        });
        report(std::exchange(m_pJob, pNext));
    }

    void finish() { report(std::exchange(m_pJob, nullptr)); }

private:
    void report(const std::shared_ptr<THashJob>& pJob)
    {
        if (!pJob)
            return;
        settle(*pJob);
        if (pJob->pError)
            std::rethrow_exception(pJob->pError);
        m_fnCallback(pJob->pChunk, pJob->nLength, pJob->aHash);
    }

    const THashedChunkCallback& m_fnCallback;
    std::shared_ptr<THashJob> m_pJob;
};

} // namespace

THashingChunker::THashingChunker() : m_oChunker(kBufferSize) {}

void THashingChunker::chunkDevice(QIODevice& oDevice, const THashedChunkCallback& fnCallback)
{
    TPendingHash oPending(fnCallback);
    m_oChunker.chunkDevice(
        oDevice, [&oPending](const char* pChunk, size_t nLength) { oPending.start(pChunk, nLength); },
        [&oPending]() { oPending.finish(); });
    oPending.finish();
}

bool chunkAndHashFileByContent(const QString& sPath, const THashedChunkCallback& fnCallback)
{
    shared::TCheckedFile oFile;
    if (!oFile.open(sPath))
        return false;
    chunkAndHashFileByContent(oFile, fnCallback);
    return true;
}

void chunkAndHashFileByContent(QFileDevice& oFile, const THashedChunkCallback& fnCallback)
{
    THashingChunker oChunker;
    oChunker.chunkDevice(oFile, [&](const char* pChunk, size_t nLength, const QByteArray& aHash) {
        if (failPoint("chunk-read"))
            throw shared::ioError(oFile.fileName(), qt_error_string(EIO));
        fnCallback(pChunk, nLength, aHash);
    });
}

} // namespace velmar::launcher
