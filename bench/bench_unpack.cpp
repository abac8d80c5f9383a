// Unpack throughput of every packed method on mixed data (half random bytes, half
// text-like words, in alternating blocks), each next to the reference decoder run
// on the same payload in the same run: Python's zlib for deflate, "lzip -d" for
// lzip, "xz --format=lzma -d" for LZMA, "zpaq x" on one thread for ZPAQ, whose
// goal (at most 5x slower) is printed beside it. Method 21 has no reference and
// is reported alone.
//   bench_unpack [--mib N] [--zpaq-mib N] [--zpaq-level N] [--runs N] [--methods store,deflate,...]

#include "shared/packeddata.h"
#include "shared/packer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>

namespace {

constexpr int kBlock = 256 * 1024;

QByteArray mixedData(int nSize)
{
    static const char* const kWords[] = {"raven", "corvane", "launcher", "chunk", "the", "of", "package",
                                         "client", "a", "download", "verify", "and", "file", "online",
                                         "data", "to", "is", "in", "north", "winter", "shadow", "light",
                                         "server", "patch", "asset", "world", "quest", "guild", "sword"};
    constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);
    QRandomGenerator oGenerator(20261206);
    QByteArray aData;
    aData.reserve(nSize + 64);
    bool bRandom = true;
    while (aData.size() < nSize) {
        const int nEnd = std::min(nSize, aData.size() + kBlock);
        if (bRandom) {
            while (aData.size() < nEnd) {
                const quint32 nValue = oGenerator.generate();
                aData.append(reinterpret_cast<const char*>(&nValue), 4);
            }
        } else {
            while (aData.size() < nEnd) {
                aData.append(kWords[oGenerator.bounded(kWordCount)]);
                aData.append(oGenerator.bounded(10) == 0 ? ".\n" : " ");
            }
        }
        bRandom = !bRandom;
    }
    aData.truncate(nSize);
    return aData;
}

// The payload without the packed header, for the reference tools.
QByteArray payloadOf(const QByteArray& aPacked)
{
    int nOffset = 2;
    for (int nVarint = 0; nVarint < 2; ++nVarint) {
        while (static_cast<uchar>(aPacked.at(nOffset)) & 0x80)
            ++nOffset;
        ++nOffset;
    }
    return aPacked.mid(nOffset);
}


// Seconds one run of the program takes, output discarded; nothing if it fails.
std::optional<double> timeProgram(const QString& sProgram, const QStringList& lArguments)
{
    QProcess oProcess;
    oProcess.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer oTimer;
    oTimer.start();
    oProcess.start(sProgram, lArguments);
    if (!oProcess.waitForFinished(-1) || oProcess.exitStatus() != QProcess::NormalExit || oProcess.exitCode() != 0)
        return std::nullopt;
    return oTimer.nsecsElapsed() / 1e9;
}

// Python measures its own decompression, without its start-up and the file read.
// Given the unpacked size, it sizes its output once, as we do.
std::optional<double> timePythonInflate(const QString& sPayloadPath, int nUnpackedSize)
{
    const QString sScript = QStringLiteral(
        "import sys, time, zlib\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "start = time.perf_counter()\n"
        "zlib.decompress(data, -15, int(sys.argv[2]))\n"
        "print(time.perf_counter() - start)\n");
    QProcess oProcess;
    oProcess.start(QStringLiteral("python3"), {QStringLiteral("-c"), sScript, sPayloadPath, QString::number(nUnpackedSize)});
    if (!oProcess.waitForFinished(-1) || oProcess.exitCode() != 0)
        return std::nullopt;
    bool bOk = false;
    const double dSeconds = QString::fromLatin1(oProcess.readAllStandardOutput()).trimmed().toDouble(&bOk);
    return bOk ? std::optional<double>(dSeconds) : std::nullopt;
}


} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication oApplication(argc, argv);
    int nMiB = 64;
    int nZpaqMiB = 16;
    int nZpaqLevel = shared::kDefaultPackLevel;
    int nRuns = 3;
    QStringList lMethods = shared::packMethodNames();
    const QStringList lArguments = QCoreApplication::arguments();
    for (int nIndex = 1; nIndex + 1 < lArguments.size(); nIndex += 2) {
        const QString& sOption = lArguments.at(nIndex);
        const QString& sValue = lArguments.at(nIndex + 1);
        if (sOption == QLatin1String("--mib"))
            nMiB = sValue.toInt();
        else if (sOption == QLatin1String("--zpaq-mib"))
            nZpaqMiB = sValue.toInt();
        else if (sOption == QLatin1String("--zpaq-level"))
            nZpaqLevel = sValue.toInt();
        else if (sOption == QLatin1String("--runs"))
            nRuns = std::max(1, sValue.toInt());
        else if (sOption == QLatin1String("--methods"))
            lMethods = sValue.split(QLatin1Char(','));
    }

    QTemporaryDir oDir;
    QTextStream oOut(stdout);
    oOut << QStringLiteral("Unpack throughput, MB/s of unpacked data, best of %1 runs\n").arg(nRuns);
    oOut << QStringLiteral("%1 %2 %3 %4  %5 %6 %7 %8\n")
                .arg(QStringLiteral("method"), -8)
                .arg(QStringLiteral("MiB"), 4)
                .arg(QStringLiteral("ratio"), 6)
                .arg(QStringLiteral("ours"), 8)
                .arg(QStringLiteral("reference"), -22)
                .arg(QStringLiteral("reference"), 9)
                .arg(QStringLiteral("ours/ref"), 9)
                .arg(QStringLiteral("goal"));
    oOut.flush();

    for (const QString& sName : lMethods) {
        const std::optional<shared::EPackMethod> eMethod = shared::packMethodFromName(sName);
        if (!eMethod) {
            std::fprintf(stderr, "unknown method %s\n", qPrintable(sName));
            return 2;
        }
        // ZPAQ decodes a few MB/s; a quarter of the data keeps the run short.
        const bool bZpaq = *eMethod == shared::EPackMethod::Zpaq;
        const int nSize = (bZpaq ? nZpaqMiB : nMiB) << 20;
        const QByteArray aData = mixedData(nSize);
        const QByteArray aPacked = shared::pack(aData, *eMethod, bZpaq ? nZpaqLevel : shared::kDefaultPackLevel);
        const double dMB = nSize / 1e6;

        // The zpaq tool finds an archive by its extension.
        const QString sPayload = oDir.filePath(sName + (bZpaq ? QStringLiteral(".zpaq") : QStringLiteral(".payload")));
        QFile oFile(sPayload);
        if (!oFile.open(QIODevice::WriteOnly) || oFile.write(payloadOf(aPacked)) < 0)
            return 1;
        oFile.close();

        QString sReference = QStringLiteral("-");
        QString sGoal;
        std::function<std::optional<double>()> fnReference;
        switch (*eMethod) {
        case shared::EPackMethod::Deflate:
            sReference = QStringLiteral("python3 zlib");
            fnReference = [&]() { return timePythonInflate(sPayload, nSize); };
            break;
        case shared::EPackMethod::Lzip:
            sReference = QStringLiteral("lzip -d");
            fnReference = [&]() { return timeProgram(QStringLiteral("lzip"), {QStringLiteral("-dc"), sPayload}); };
            break;
        case shared::EPackMethod::Lzma:
            sReference = QStringLiteral("xz --format=lzma -d");
            fnReference = [&]() {
                return timeProgram(QStringLiteral("xz"), {QStringLiteral("--format=lzma"), QStringLiteral("-dc"), sPayload});
            };
            break;
        case shared::EPackMethod::Zpaq:
            // A stream without a file name is extracted under the archive's name.
            sReference = QStringLiteral("zpaq x, 1 thread");
            sGoal = QStringLiteral("(goal >= 0.20)");
            fnReference = [&]() {
                return timeProgram(QStringLiteral("zpaq"), {QStringLiteral("x"), sPayload, QStringLiteral("-to"),
                                                            oDir.filePath(QStringLiteral("zpaq-out")),
                                                            QStringLiteral("-threads"), QStringLiteral("1"),
                                                            QStringLiteral("-force")});
            };
            break;
        default:
            break;
        }

        // Ours and the reference take turns, so that both meet the same load on a
        // shared machine; the best run of each counts.
        double dOurs = std::numeric_limits<double>::infinity();
        std::optional<double> dReference;
        for (int nRun = 0; nRun < nRuns; ++nRun) {
            QElapsedTimer oTimer;
            oTimer.start();
            const QByteArray aUnpacked = shared::unpackStrict(aPacked);
            dOurs = std::min(dOurs, oTimer.nsecsElapsed() / 1e9);
            if (aUnpacked != aData) {
                std::fprintf(stderr, "%s: unpacked data differs\n", qPrintable(sName));
                return 1;
            }
            if (!fnReference)
                continue;
            const std::optional<double> dRun = fnReference();
            if (!dRun) {
                std::fprintf(stderr, "%s: the reference failed\n", qPrintable(sReference));
                return 1;
            }
            dReference = std::min(dReference.value_or(*dRun), *dRun);
        }

        oOut << QStringLiteral("%1 %2 %3 %4  %5 %6 %7 %8\n")
                    .arg(sName, -8)
                    .arg(nSize >> 20, 4)
                    .arg(static_cast<double>(aPacked.size()) / nSize, 6, 'f', 3)
                    .arg(dMB / dOurs, 8, 'f', 1)
                    .arg(sReference, -22)
                    .arg(dReference ? QString::number(dMB / *dReference, 'f', 1) : QStringLiteral("-"), 9)
                    .arg(dReference ? QString::number(*dReference / dOurs, 'f', 2) : QStringLiteral("-"), 9)
                    .arg(sGoal);
        oOut.flush();
    }
    return 0;
}
