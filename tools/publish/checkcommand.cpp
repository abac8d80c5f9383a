#include "commands.h"

#include "cdnchecker.h"
#include "progressreporter.h"
#include "signedmetadatachecker.h"
#include "toolio.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QThread>

namespace {

QString checkUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish check CDNDIR [--jobs N]\n"
        "       corvane-publish check --metadata FILE --trusted-key KEY [--trusted-key KEY]... [--jobs N]\n"
        "Checks a published folder offline, reading its documents as the launcher does: every\n"
        "address must be a file inside CDNDIR, every chunk file must match its packedsize and\n"
        "packedhash and unpack to its unpackedsize and unpackedhash, and every file's chunks must\n"
        "add up to the file's size and hash. Lists every problem found.\n"
        "With --metadata, checks signed metadata instead: FILE.signed must be signed by one of the\n"
        "keys (as keygen printed them) and not expired, FILE must hold the same metadata, and every\n"
        "document it names must match its pinned size and SHA-256 and be sound as above. Warns when\n"
        "the signature expires within a week.\n"
        "  --jobs N   threads that unpack chunks (default: the number of processors)\n"
        "Exit codes: 0 sound, 1 problems found, 2 wrong command line.\n");
}

void listProblems(const QString& sWhat, const QStringList& lProblems)
{
    printError(QStringLiteral("'%1' has %2 problem%3:")
                   .arg(QDir::toNativeSeparators(sWhat))
                   .arg(lProblems.size())
                   .arg(lProblems.size() == 1 ? QString() : QStringLiteral("s")));
    for (const QString& sProblem : lProblems)
        printError(QStringLiteral("  ") + sProblem);
}

int checkSigned(const QString& sMetadata, const velmar::launcher::TTrustedKeys& oKeys, int nJobs)
{
    TSignedMetadataChecker oChecker(sMetadata, oKeys, nJobs, QDateTime::currentSecsSinceEpoch());
    const QStringList lProblems = oChecker.check();
    for (const QString& sWarning : oChecker.warnings())
        printError(QStringLiteral("Warning: ") + sWarning);
    if (!lProblems.isEmpty()) {
        listProblems(sMetadata, lProblems);
        return kExitFailure;
    }
    printOut(QStringLiteral("'%1' is sound: %2.\n").arg(QDir::toNativeSeparators(sMetadata), oChecker.summary()));
    return kExitSuccess;
}

} // namespace

int runCheck(const QStringList& lArguments)
{
    QCommandLineParser oParser;
    const QCommandLineOption oHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help"));
    const QCommandLineOption oJobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    const QCommandLineOption oMetadata(QStringLiteral("metadata"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption oTrustedKey(QStringLiteral("trusted-key"), QString(), QStringLiteral("KEY"));
    oParser.addOptions({oHelp, oJobs, oMetadata, oTrustedKey});
    if (!oParser.parse(QStringList{QStringLiteral("corvane-publish check")} + lArguments))
        return usageError(oParser.errorText(), checkUsage());
    if (oParser.isSet(oHelp)) {
        printOut(checkUsage());
        return kExitSuccess;
    }
    const bool bSigned = oParser.isSet(oMetadata);
    if (oParser.positionalArguments().size() != (bSigned ? 0 : 1))
        return usageError(bSigned ? QStringLiteral("--metadata takes no CDNDIR.") : QStringLiteral("Expected exactly one CDNDIR."),
                          checkUsage());
    velmar::launcher::TTrustedKeys oKeys;
    for (const QString& sKey : oParser.values(oTrustedKey)) {
        if (!oKeys.add(sKey).isEmpty())
            return usageError(QStringLiteral("'%1' is no public key.").arg(sKey), checkUsage());
    }
    if (bSigned != oKeys.isChecking())
        return usageError(QStringLiteral("--metadata and --trusted-key go together."), checkUsage());
    int nJobs = QThread::idealThreadCount();
    if (oParser.isSet(oJobs)) {
        bool bNumber = false;
        nJobs = oParser.value(oJobs).toInt(&bNumber);
        if (!bNumber || nJobs < 1 || nJobs > 256)
            return usageError(QStringLiteral("--jobs must be a number from 1 to 256."), checkUsage());
    }

    if (bSigned)
        return checkSigned(oParser.value(oMetadata), oKeys, nJobs);
    const QString sFolder = oParser.positionalArguments().first();
    TCdnChecker oChecker(sFolder, nJobs);
    const QStringList lProblems = oChecker.check();
    if (!lProblems.isEmpty()) {
        listProblems(sFolder, lProblems);
        return kExitFailure;
    }
    printOut(QStringLiteral("'%1' is sound: %2 files, %3 chunks, %4 packed.\n")
                 .arg(QDir::toNativeSeparators(sFolder))
                 .arg(oChecker.fileCount())
                 .arg(oChecker.chunkCount())
                 .arg(byteCountText(oChecker.packedBytes())));
    return kExitSuccess;
}
