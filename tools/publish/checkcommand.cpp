#include "commands.h"

#include "cdnchecker.h"
#include "progressreporter.h"
#include "toolio.h"

#include <QCommandLineParser>
#include <QDir>
#include <QThread>

namespace {

QString checkUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish check CDNDIR [--jobs N]\n"
        "Checks a published folder offline, reading its documents as the launcher does: every\n"
        "address must be a file inside CDNDIR, every chunk file must match its packedsize and\n"
        "packedhash and unpack to its unpackedsize and unpackedhash, and every file's chunks must\n"
        "add up to the file's size and hash. Lists every problem found.\n"
        "  --jobs N   threads that unpack chunks (default: the number of processors)\n"
        "Exit codes: 0 sound, 1 problems found, 2 wrong command line.\n");
}

} // namespace

int runCheck(const QStringList& lArguments)
{
    QCommandLineParser oParser;
    const QCommandLineOption oHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help"));
    const QCommandLineOption oJobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    oParser.addOptions({oHelp, oJobs});
    if (!oParser.parse(QStringList{QStringLiteral("corvane-publish check")} + lArguments))
        return usageError(oParser.errorText(), checkUsage());
    if (oParser.isSet(oHelp)) {
        printOut(checkUsage());
        return kExitSuccess;
    }
    if (oParser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("Expected exactly one CDNDIR."), checkUsage());
    int nJobs = QThread::idealThreadCount();
    if (oParser.isSet(oJobs)) {
        bool bNumber = false;
        nJobs = oParser.value(oJobs).toInt(&bNumber);
        if (!bNumber || nJobs < 1 || nJobs > 256)
            return usageError(QStringLiteral("--jobs must be a number from 1 to 256."), checkUsage());
    }

    const QString sFolder = oParser.positionalArguments().first();
    TCdnChecker oChecker(sFolder, nJobs);
    const QStringList lProblems = oChecker.check();
    if (!lProblems.isEmpty()) {
        printError(QStringLiteral("'%1' has %2 problem%3:")
                       .arg(QDir::toNativeSeparators(sFolder))
                       .arg(lProblems.size())
                       .arg(lProblems.size() == 1 ? QString() : QStringLiteral("s")));
        for (const QString& sProblem : lProblems)
            printError(QStringLiteral("  ") + sProblem);
        return kExitFailure;
    }
    printOut(QStringLiteral("'%1' is sound: %2 files, %3 chunks, %4 packed.\n")
                 .arg(QDir::toNativeSeparators(sFolder))
                 .arg(oChecker.fileCount())
                 .arg(oChecker.chunkCount())
                 .arg(byteCountText(oChecker.packedBytes())));
    return kExitSuccess;
}
