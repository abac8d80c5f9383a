// Parsing a package document of 100,000 files and 300,000 chunks with
// TPackageConfigurationReader, next to a bare QJsonDocument::fromJson of the
// same bytes. Each measurement runs in a process of its own so that the peak
// resident memory belongs to that measurement alone:
//   bench_packageparse generate <file>   writes the document
//   bench_packageparse bare <file>       QJsonDocument::fromJson
//   bench_packageparse reader <file>     TPackageConfigurationReader
// The two parse modes print "<wall ms> <processor ms> <peak resident KiB>";
// processor time is the steadier figure on a busy machine.

#include "launcher/documents/packageconfigurationreader.h"
#include "shared/sha256.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QUrl>

#include <sys/resource.h>

#include <ctime>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kFiles = 100000;
constexpr int kChunksPerFile = 3;

QByteArray hexHash(const char* pKind, int nIndex)
{
    const QByteArray aSeed = QByteArray(pKind) + QByteArray::number(nIndex);
    return shared::TSha256::hash(aSeed).toHex();
}

int generate(const char* pPath)
{
    QFile oFile(QString::fromLocal8Bit(pPath));
    if (!oFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QByteArray aOut;
    aOut.reserve(1 << 20);
    auto flush = [&] {
        oFile.write(aOut);
        aOut.clear();
    };
    aOut += R"({"version":"1017","executable":"Client/Corvane.x86_64","generation":"second","variant":"regular",)"
            R"("parameters":["-screen-fullscreen","0"],"chunks":[)";
    for (int n = 0; n < kFiles * kChunksPerFile; ++n) {
        const QByteArray aPacked = hexHash("p", n);
        aOut += (n ? ",{" : "{");
        aOut += "\"url\":\"chunks/" + aPacked.left(2) + '/' + aPacked + "\",\"packedsize\":"
                + QByteArray::number(40000 + n % 30000) + ",\"packedhash\":\"" + aPacked
                + "\",\"unpackedsize\":" + QByteArray::number(65536 + n % 65536) + ",\"unpackedhash\":\""
                + hexHash("u", n) + "\"}";
        if (aOut.size() > (1 << 20) - 4096)
            flush();
    }
    aOut += "],\"files\":[";
    for (int n = 0; n < kFiles; ++n) {
        aOut += (n ? ",{" : "{");
        aOut += "\"localfile\":\"CorvaneOnlineClient_Data/Folder" + QByteArray::number(n % 311) + "/file"
                + QByteArray::number(n) + ".assets\",\"url\":\"files/" + hexHash("f", n)
                + "\",\"packedsize\":" + QByteArray::number(120000 + n) + ",\"packedhash\":\"" + hexHash("fp", n)
                + "\",\"unpackedsize\":" + QByteArray::number(196608 + n) + ",\"unpackedhash\":\"" + hexHash("fu", n)
                + "\",\"chunks\":[";
        for (int c = 0; c < kChunksPerFile; ++c)
            aOut += (c ? "," : "") + QByteArray::number(n * kChunksPerFile + c);
        aOut += "]}";
        if (aOut.size() > (1 << 20) - 4096)
            flush();
    }
    aOut += "]}";
    flush();
    return oFile.error() == QFile::NoError ? 0 : 1;
}

long long processorMilliseconds()
{
    timespec oTime{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &oTime);
    return static_cast<long long>(oTime.tv_sec) * 1000 + oTime.tv_nsec / 1000000;
}

long peakResidentKiB()
{
    rusage oUsage{};
    getrusage(RUSAGE_SELF, &oUsage);
    return oUsage.ru_maxrss;
}

int parse(const char* pMode, const char* pPath)
{
    QFile oFile(QString::fromLocal8Bit(pPath));
    if (!oFile.open(QIODevice::ReadOnly))
        return 1;
    QByteArray aDocument = oFile.readAll();
    QElapsedTimer oTimer;
    const long long nProcessorStart = processorMilliseconds();
    size_t nCheck = 0;
    if (std::strcmp(pMode, "bare") == 0) {
        oTimer.start();
        const QJsonDocument oDocument = QJsonDocument::fromJson(aDocument);
        nCheck = oDocument.isObject() ? 1 : 0;
        std::printf("%lld %lld %ld\n", static_cast<long long>(oTimer.elapsed()),
                    processorMilliseconds() - nProcessorStart, peakResidentKiB());
    } else {
        oTimer.start();
        // Handed over as the launcher hands over a document it read or downloaded.
        const velmar::launcher::TPackageConfigurationReader oReader(
            std::move(aDocument), QByteArray(), QUrl(QStringLiteral("https://cdn.invalid/live/")), QUrl());
        nCheck = oReader.isValid() && oReader.files().size() == size_t(kFiles)
                         && oReader.chunks().size() == size_t(kFiles * kChunksPerFile)
                     ? 1
                     : 0;
        std::printf("%lld %lld %ld\n", static_cast<long long>(oTimer.elapsed()),
                    processorMilliseconds() - nProcessorStart, peakResidentKiB());
    }
    return nCheck == 1 ? 0 : 2;
}

} // namespace

int main(int nArgc, char** ppArgv)
{
    if (nArgc != 3)
        return 64;
    if (std::strcmp(ppArgv[1], "generate") == 0)
        return generate(ppArgv[2]);
    return parse(ppArgv[1], ppArgv[2]);
}
