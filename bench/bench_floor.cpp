// The CPU floor of an install: every chunk file named on standard input (one path
// a line, each distinct chunk once) read into memory first, then unpacked with our
// own decoders and hashed with SHA-256 on THREADS threads. No network and no disk
// in the timed part: an installer can go no faster than this on the same processors.
//   bench_floor [--threads N] < chunk-file-list
// Prints: "floor SECONDS s, UNPACKED bytes unpacked from PACKED bytes in N chunk files"

#include "shared/packeddata.h"
#include "shared/sha256.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThreadPool>
#include <QtConcurrent>

#include <atomic>
#include <cstdio>
#include <vector>

int main(int argc, char* argv[])
{
    QCoreApplication oApplication(argc, argv);
    int nThreads = 2;
    const QStringList lArguments = QCoreApplication::arguments();
    for (int i = 1; i < lArguments.size(); ++i) {
        if (lArguments[i] == QLatin1String("--threads") && i + 1 < lArguments.size()) {
            nThreads = lArguments[++i].toInt();
        } else {
            std::fprintf(stderr, "usage: bench_floor [--threads N] < chunk-file-list\n");
            return 2;
        }
    }
    if (nThreads < 1) {
        std::fprintf(stderr, "bench_floor: --threads needs a positive number\n");
        return 2;
    }

    std::vector<QByteArray> lChunks;
    quint64 nPacked = 0;
    QTextStream oInput(stdin);
    for (QString sPath = oInput.readLine(); !sPath.isNull(); sPath = oInput.readLine()) {
        if (sPath.isEmpty()) {
            continue;
        }
        QFile oFile(sPath);
        if (!oFile.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "bench_floor: %s: %s\n", qPrintable(sPath), qPrintable(oFile.errorString()));
            return 1;
        }
        lChunks.push_back(oFile.readAll());
        nPacked += static_cast<quint64>(lChunks.back().size());
    }

    QThreadPool::globalInstance()->setMaxThreadCount(nThreads);
    std::atomic<quint64> nUnpacked{0};
    std::atomic<bool> bFailed{false};
    QElapsedTimer oTimer;
    oTimer.start();
    QtConcurrent::blockingMap(lChunks, [&](QByteArray& aPacked) {
        try {
            const QByteArray aData = shared::unpackStrict(aPacked);
            const QByteArray aDigest = shared::TSha256::hash(aData);
            // Keeps the hash from being optimised away.
            if (aDigest.size() != shared::TSha256::kDigestSize) {
                bFailed = true;
            }
            nUnpacked += static_cast<quint64>(aData.size());
        } catch (...) {
            bFailed = true;
        }
    });
    const double dSeconds = static_cast<double>(oTimer.nsecsElapsed()) / 1e9;
    if (bFailed) {
        std::fprintf(stderr, "bench_floor: a chunk did not unpack\n");
        return 1;
    }
    std::printf("floor %.3f s, %llu bytes unpacked from %llu bytes in %zu chunk files\n", dSeconds,
                static_cast<unsigned long long>(nUnpacked.load()), static_cast<unsigned long long>(nPacked),
                lChunks.size());
    return 0;
}
