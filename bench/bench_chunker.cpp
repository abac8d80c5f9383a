// Content-defined chunking plus SHA-256 of every chunk over one file, on the
// calling thread ("both"), or with the hashing on a second thread as the
// launcher's scan and the publisher do it ("two"): the work they do per byte.
//   bench_chunker FILE [chunk|sha|both|two] [BUFFER_MIB READ_KIB]
// Prints one line: mode, bytes, chunks, wall-clock seconds, MB/s (10^6 bytes per
// second), and MB/s by the processor time this thread got, which holds up better
// on a machine that others share.
#include "launcher/engine/contentchunker.h"
#include "launcher/engine/hashingchunker.h"

#include "shared/sha256.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

using velmar::launcher::TContentChunker;

namespace {

double threadCpuSeconds()
{
    timespec oTime{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &oTime);
    return double(oTime.tv_sec) + double(oTime.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [chunk|sha|both|two] [BUFFER_MIB READ_KIB]\n", argv[0]);
        return 2;
    }
    const QString sPath = QString::fromLocal8Bit(argv[1]);
    const char* pMode = argc > 2 ? argv[2] : "both";
    const size_t nBufferSize = argc > 3 ? size_t(std::atoi(argv[3])) << 20 : TContentChunker::kDefaultBufferSize;
    const size_t nReadSize = argc > 4 ? size_t(std::atoi(argv[4])) << 10 : TContentChunker::kDefaultReadSize;
    const bool bChunk = std::strcmp(pMode, "sha") != 0;
    const bool bHash = std::strcmp(pMode, "chunk") != 0;

    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    QElapsedTimer oTimer;
    oTimer.start();
    const double dCpuStart = threadCpuSeconds();
    quint64 nBytes = 0;
    quint64 nChunks = 0;
    unsigned char nCheck = 0;
    if (std::strcmp(pMode, "two") == 0) {
        velmar::launcher::THashingChunker oChunker;
        oChunker.chunkDevice(oFile, [&](const char*, size_t nLength, const QByteArray& aHash) {
            nCheck ^= static_cast<unsigned char>(aHash.at(0));
            nBytes += nLength;
            ++nChunks;
        });
    } else if (bChunk) {
        TContentChunker oChunker(nBufferSize, nReadSize);
        oChunker.chunkDevice(oFile, [&](const char* pChunk, size_t nLength) {
            if (bHash)
                nCheck ^= static_cast<unsigned char>(shared::TSha256::hash(pChunk, nLength).at(0));
            nBytes += nLength;
            ++nChunks;
        });
    } else {
        // The same reads without chunking: what hashing alone costs.
        std::unique_ptr<char[]> pBuffer(new char[nReadSize]);
        for (;;) {
            const qint64 nRead = oFile.read(pBuffer.get(), static_cast<qint64>(nReadSize));
            if (nRead <= 0)
                break;
            nCheck ^= static_cast<unsigned char>(shared::TSha256::hash(pBuffer.get(), size_t(nRead)).at(0));
            nBytes += quint64(nRead);
            ++nChunks;
        }
    }
    const double dSeconds = double(oTimer.nsecsElapsed()) / 1e9;
    const double dCpuSeconds = threadCpuSeconds() - dCpuStart;
    std::printf("%-6s %llu bytes, %llu pieces, %.3f s, %.0f MB/s, processor time %.3f s, %.0f MB/s (check %02x)\n",
                pMode, static_cast<unsigned long long>(nBytes), static_cast<unsigned long long>(nChunks), dSeconds,
                double(nBytes) / dSeconds / 1e6, dCpuSeconds, double(nBytes) / dCpuSeconds / 1e6, nCheck);
    return 0;
}
