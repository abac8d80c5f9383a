// The reading floor of verification: every file below FOLDER read 256 KiB at a
// time, as the engine reads, and hashed with SHA-256 on THREADS threads. No
// document, no checks, no records: what anything that reads through the page
// cache gets on these processors, next to what `openssl speed` gets from memory.
//   bench_readhash [--threads N] FOLDER
// Prints: "read and hashed BYTES bytes in N files: SECONDS s hashing"

#include "shared/sha256.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QThreadPool>
#include <QtConcurrent>

#include <atomic>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication oApplication(argc, argv);
    int nThreads = 2;
    QString sFolder;
    bool bUsage = false;
    const QStringList lArguments = QCoreApplication::arguments();
    for (int i = 1; i < lArguments.size(); ++i) {
        if (lArguments[i] == QLatin1String("--threads") && i + 1 < lArguments.size())
            nThreads = lArguments[++i].toInt();
        else if (sFolder.isEmpty() && !lArguments[i].startsWith(QLatin1Char('-')))
            sFolder = lArguments[i];
        else
            bUsage = true;
    }
    if (bUsage || nThreads < 1 || sFolder.isEmpty()) {
        std::fprintf(stderr, "usage: bench_readhash [--threads N] FOLDER\n");
        return 2;
    }

    QStringList lFiles;
    QDirIterator oWalk(sFolder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (oWalk.hasNext())
        lFiles.append(oWalk.next());

    QThreadPool::globalInstance()->setMaxThreadCount(nThreads);
    std::atomic<quint64> nBytes{0};
    std::atomic<bool> bFailed{false};
    QElapsedTimer oTimer;
    oTimer.start();
    QtConcurrent::blockingMap(lFiles, [&](const QString& sPath) {
        // One buffer per thread, reused: the hash reads it from the cache.
        thread_local QByteArray aBuffer(256 * 1024, Qt::Uninitialized);
        QFile oFile(sPath);
        if (!oFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            bFailed = true;
            return;
        }
        shared::TSha256 oHash;
        qint64 nRead = 0;
        while ((nRead = oFile.read(aBuffer.data(), aBuffer.size())) > 0) {
            oHash.addData(aBuffer.constData(), size_t(nRead));
            nBytes += quint64(nRead);
        }
        if (nRead < 0)
            bFailed = true;
        // Finished as verify finishes each file.
        oHash.result();
    });
    const double nSeconds = double(oTimer.nsecsElapsed()) / 1e9;
    if (bFailed) {
        std::fprintf(stderr, "bench_readhash: a file could not be read\n");
        return 1;
    }
    std::printf("read and hashed %llu bytes in %lld files: %.3f s hashing\n", static_cast<unsigned long long>(nBytes.load()),
                static_cast<long long>(lFiles.size()), nSeconds);
    return 0;
}
