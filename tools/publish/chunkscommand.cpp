#include "commands.h"

#include "toolio.h"

#include "launcher/engine/contentchunker.h"
#include "shared/sha256.h"

#include <QFile>

#include <cstdio>
#include <exception>

namespace {

QString chunksUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish chunks FILE\n"
        "Prints the content-defined chunks of FILE, one line each in file order:\n"
        "OFFSET LENGTH SHA256 (decimal, decimal, lower-case hexadecimal of the chunk's bytes).\n"
        "These are the boundaries the launcher finds in an installed file.\n");
}

} // namespace

int runChunks(const QStringList& lArguments)
{
    if (wantsHelp(lArguments)) {
        printOut(chunksUsage());
        return kExitSuccess;
    }
    if (lArguments.size() != 1 || lArguments.first().startsWith(QLatin1String("--")))
        return usageError(QStringLiteral("Expected exactly one FILE."), chunksUsage());

    const QString& sPath = lArguments.first();
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        printError(QStringLiteral("Cannot read '%1': %2").arg(sPath, oFile.errorString()));
        return kExitFailure;
    }
    try {
        velmar::launcher::TContentChunker oChunker;
        quint64 nOffset = 0;
        oChunker.chunkDevice(oFile, [&nOffset](const char* pChunk, size_t nLength) {
            std::printf("%llu %llu %s\n", static_cast<unsigned long long>(nOffset), static_cast<unsigned long long>(nLength),
                        shared::TSha256::hash(pChunk, nLength).toHex().constData());
            nOffset += nLength;
        });
    } catch (const std::exception& oError) {
        std::fflush(stdout);
        printError(QString::fromUtf8(oError.what()));
        return kExitFailure;
    }
    if (std::fflush(stdout) != 0) {
        printError(QStringLiteral("Cannot write the list of chunks."));
        return kExitFailure;
    }
    return kExitSuccess;
}
