// corvane-publish: the publisher's tool for preparing what the launcher downloads.
//   corvane-publish COMMAND [ARGUMENTS...]; corvane-publish --help lists the commands.

#include "commands.h"
#include "toolio.h"

#include <QCoreApplication>

namespace {

struct TCommand
{
    const char* pName;
    int (*fnRun)(const QStringList&);
    const char* pSummary;
};

const TCommand kCommands[] = {
    {"pack", runPack, "pack --method METHOD IN OUT   write IN in the packed format"},
    {"unpack", runUnpack, "unpack [--lenient] IN OUT     unpack IN"},
    {"chunks", runChunks, "chunks FILE                   list the content-defined chunks of FILE"},
    {"build", runBuild, "build --source DIR --out CDNDIR --version V --executable REL ...\n"
                        "                                publish a client folder into a CDN folder"},
    {"metadata", runMetadata, "metadata --out FILE ... [--sign KEYFILE [--expires DAYS]]\n"
                              "                                write the launcher metadata document, signed with --sign"},
    {"check", runCheck, "check CDNDIR                  check a published CDN folder offline\n"
                        "  check --metadata FILE --trusted-key KEY\n"
                        "                                check signed metadata, the documents it pins and their chunks"},
    {"keygen", runKeygen, "keygen KEYFILE                make a key pair for signing the metadata"},
    {"public-key", runPublicKey, "public-key KEYFILE            print the public key of a signing key"},
    {"prune", runPrune, "prune CDNDIR|REMOTE [--keep DOC]... [--dry-run]\n"
                        "                                delete the chunk files no kept document needs"},
    {"upload", runUpload, "upload CDNDIR REMOTE [--dry-run]\n"
                          "                                copy a CDN folder to storage through rclone, documents last"},
    {"diff", runDiff, "diff OLD-DOC NEW-DOC          what a launcher at OLD fetches to reach NEW"},
};

QString toolUsage()
{
    QString sUsage = QStringLiteral("Usage: corvane-publish COMMAND [ARGUMENTS...]\nCommands:\n");
    for (const TCommand& oCommand : kCommands)
        sUsage += QStringLiteral("  %1\n").arg(QLatin1String(oCommand.pSummary));
    sUsage += QStringLiteral("corvane-publish COMMAND --help describes one command.\n");
    return sUsage;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication oApplication(argc, argv);
    const QStringList lArguments = QCoreApplication::arguments().mid(1);
    if (lArguments.isEmpty())
        return usageError(QStringLiteral("No command given."), toolUsage());
    const QString& sCommand = lArguments.first();
    if (sCommand == QLatin1String("--help") || sCommand == QLatin1String("-h") || sCommand == QLatin1String("help")) {
        printOut(toolUsage());
        return kExitSuccess;
    }
    for (const TCommand& oCommand : kCommands) {
        if (sCommand == QLatin1String(oCommand.pName))
            return oCommand.fnRun(lArguments.mid(1));
    }
    return usageError(QStringLiteral("Unknown command '%1'.").arg(sCommand), toolUsage());
}
