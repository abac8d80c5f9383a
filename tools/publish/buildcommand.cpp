#include "commands.h"

#include "publisher.h"
#include "toolio.h"

#include <QCommandLineParser>
#include <QDir>
#include <QThread>

namespace {

const QStringList kGenerations{QStringLiteral("first"), QStringLiteral("second")};
const QStringList kVariants{QStringLiteral("regular"), QStringLiteral("preview"), QStringLiteral("beta"),
                            QStringLiteral("test")};

// "deflate 1-9 (9), lzip 0-9 (1), ...": lowest, highest and default level of each method that has levels.
QString levelsText()
{
    QStringList lMethods;
    for (const QString& sName : shared::packMethodNames()) {
        if (const std::optional<shared::TPackLevels> oLevels = shared::packLevels(*shared::packMethodFromName(sName)))
            lMethods << QStringLiteral("%1 %2-%3 (%4)")
                            .arg(sName)
                            .arg(oLevels->nLowest)
                            .arg(oLevels->nHighest)
                            .arg(oLevels->nDefault);
    }
    return lMethods.join(QStringLiteral(", "));
}

QString buildUsage()
{
    return QStringLiteral(
               "Usage: corvane-publish build --source DIR --out CDNDIR --version V --executable REL\n"
               "                             [--asset-version A] [--assets SUBDIR] [--parameter ARG]...\n"
               "                             [--generation first|second] [--variant regular|preview|beta|test]\n"
               "                             [--method METHOD] [--level L] [--jobs N]\n"
               "Publishes the client in DIR into CDNDIR: the chunk files below CDNDIR/chunks, then\n"
               "CDNDIR/package.json and, with --assets, CDNDIR/assets.json. Serve CDNDIR as it is from any\n"
               "web server; the launcher finds the documents through the launcher metadata (see the\n"
               "metadata command). Publishing into a CDNDIR that holds earlier versions writes only the\n"
               "chunks that are new; the documents are replaced last, each in one step.\n"
               "  --source DIR         the client folder, exactly as it is to be installed\n"
               "  --out CDNDIR         the folder to publish into; created when missing\n"
               "  --version V          the package version\n"
               "  --executable REL     the client program, relative to DIR\n"
               "  --assets SUBDIR      list the files below DIR/SUBDIR in assets.json instead of package.json\n"
               "  --asset-version A    the version of assets.json (default: V); needs --assets. Never \"1\":\n"
               "                       the launcher takes asset version 1 for \"update available\", always,\n"
               "                       so a package published with it would never be up to date\n"
               "  --parameter ARG      a command-line argument for the client; repeat for more, in order\n"
               "  --generation G       first or second (default: second)\n"
               "  --variant V          regular, preview, beta or test (default: regular)\n"
               "  --method METHOD      %1 (default: lzma)\n"
               "  --level L            higher packs smaller and slower; the levels (and default) of each\n"
               "                       method: %2\n"
               "  --jobs N             threads that pack chunks, those of one large file too (default: the\n"
               "                       number of processors)\n"
               "Files that have not changed since an earlier build into CDNDIR (same size, modification and\n"
               "change time, inode) are not read again: CDNDIR/.corvane-publish.cache remembers their chunks.\n"
               "Exit codes: 0 published, 1 failed (nothing was published), 2 wrong command line.\n")
        .arg(shared::packMethodNames().join(QStringLiteral(", ")), levelsText());
}

// A path inside the client folder as the documents write it: '/'-separated,
// without "." parts; empty when it would leave the folder.
QString relativeInside(const QString& sPath)
{
    QString sClean = QDir::cleanPath(QDir::fromNativeSeparators(sPath));
    if (sClean.startsWith(QLatin1String("./")))
        sClean = sClean.mid(2);
    if (sClean.isEmpty() || sClean == QLatin1String(".") || sClean == QLatin1String("..")
        || sClean.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(sClean))
        return QString();
    return sClean;
}

} // namespace

int runBuild(const QStringList& lArguments)
{
    QCommandLineParser oParser;
    oParser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption oHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help"));
    const QCommandLineOption oSource(QStringLiteral("source"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption oOutput(QStringLiteral("out"), QString(), QStringLiteral("CDNDIR"));
    const QCommandLineOption oVersion(QStringLiteral("version"), QString(), QStringLiteral("V"));
    const QCommandLineOption oExecutable(QStringLiteral("executable"), QString(), QStringLiteral("REL"));
    const QCommandLineOption oAssetVersion(QStringLiteral("asset-version"), QString(), QStringLiteral("A"));
    const QCommandLineOption oAssets(QStringLiteral("assets"), QString(), QStringLiteral("SUBDIR"));
    const QCommandLineOption oParameter(QStringLiteral("parameter"), QString(), QStringLiteral("ARG"));
    const QCommandLineOption oGeneration(QStringLiteral("generation"), QString(), QStringLiteral("G"));
    const QCommandLineOption oVariant(QStringLiteral("variant"), QString(), QStringLiteral("V"));
    const QCommandLineOption oMethod(QStringLiteral("method"), QString(), QStringLiteral("METHOD"));
    const QCommandLineOption oLevel(QStringLiteral("level"), QString(), QStringLiteral("L"));
    const QCommandLineOption oJobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    oParser.addOptions({oHelp, oSource, oOutput, oVersion, oExecutable, oAssetVersion, oAssets, oParameter, oGeneration,
                        oVariant, oMethod, oLevel, oJobs});
    if (!oParser.parse(QStringList{QStringLiteral("corvane-publish build")} + lArguments))
        return usageError(oParser.errorText(), buildUsage());
    if (oParser.isSet(oHelp)) {
        printOut(buildUsage());
        return kExitSuccess;
    }
    if (!oParser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.").arg(oParser.positionalArguments().first()),
                          buildUsage());
    for (const QCommandLineOption* pRequired : {&oSource, &oOutput, &oVersion, &oExecutable}) {
        if (oParser.value(*pRequired).isEmpty())
            return usageError(QStringLiteral("--%1 is required.").arg(pRequired->names().first()), buildUsage());
    }
    for (const QCommandLineOption* pSingle : {&oSource, &oOutput, &oVersion, &oExecutable, &oAssetVersion, &oAssets,
                                              &oGeneration, &oVariant, &oMethod, &oLevel, &oJobs}) {
        if (oParser.values(*pSingle).size() > 1)
            return usageError(QStringLiteral("--%1 is given more than once.").arg(pSingle->names().first()), buildUsage());
    }

    TBuildOptions oOptions;
    oOptions.sSource = oParser.value(oSource);
    oOptions.sOutput = oParser.value(oOutput);
    oOptions.sVersion = oParser.value(oVersion);
    oOptions.sExecutable = relativeInside(oParser.value(oExecutable));
    if (oOptions.sExecutable.isEmpty())
        return usageError(QStringLiteral("--executable must name a file inside the source."), buildUsage());
    if (oParser.isSet(oAssets)) {
        oOptions.sAssets = relativeInside(oParser.value(oAssets));
        if (oOptions.sAssets.isEmpty())
            return usageError(QStringLiteral("--assets must name a folder inside the source."), buildUsage());
        oOptions.sAssetVersion = oParser.isSet(oAssetVersion) ? oParser.value(oAssetVersion) : oOptions.sVersion;
        if (oOptions.sAssetVersion.isEmpty())
            return usageError(QStringLiteral("--asset-version must not be empty."), buildUsage());
        if (oOptions.sAssetVersion == QLatin1String("1"))
            return usageError(QStringLiteral("The asset version is \"1\"%1, which the launcher always takes for \"update "
                                             "available\": the package would never be up to date. Give another "
                                             "--asset-version.")
                                  .arg(oParser.isSet(oAssetVersion) ? QString() : QStringLiteral(" (from --version)")),
                              buildUsage());
    } else if (oParser.isSet(oAssetVersion)) {
        return usageError(QStringLiteral("--asset-version needs --assets."), buildUsage());
    }
    oOptions.lParameters = oParser.values(oParameter);
    if (oParser.isSet(oGeneration)) {
        oOptions.sGeneration = oParser.value(oGeneration);
        if (!kGenerations.contains(oOptions.sGeneration))
            return usageError(QStringLiteral("Unknown generation '%1'.").arg(oOptions.sGeneration), buildUsage());
    }
    if (oParser.isSet(oVariant)) {
        oOptions.sVariant = oParser.value(oVariant);
        if (!kVariants.contains(oOptions.sVariant))
            return usageError(QStringLiteral("Unknown variant '%1'.").arg(oOptions.sVariant), buildUsage());
    }
    if (oParser.isSet(oMethod)) {
        const std::optional<shared::EPackMethod> eMethod = shared::packMethodFromName(oParser.value(oMethod));
        if (!eMethod)
            return usageError(QStringLiteral("Unknown method '%1'.").arg(oParser.value(oMethod)), buildUsage());
        oOptions.eMethod = *eMethod;
        // Its streams run their own programs, which our decoder interprets under an
        // instruction budget, so a player's install is slower by one or two orders of
        // magnitude than from deflate chunks.
        if (oOptions.eMethod == shared::EPackMethod::Zpaq)
            printError(QStringLiteral("Warning: zpaq chunks unpack at about 3 MB/s (level 3) to 17 MB/s (level 1) "
                                      "on a player's processor core, deflate chunks at hundreds of MB/s: "
                                      "installs are that much slower."));
    }
    if (oParser.isSet(oLevel)) {
        const std::optional<shared::TPackLevels> oLevels = shared::packLevels(oOptions.eMethod);
        if (!oLevels)
            return usageError(QStringLiteral("The method '%1' has no levels.").arg(shared::packMethodName(oOptions.eMethod)),
                              buildUsage());
        bool bNumber = false;
        oOptions.nLevel = oParser.value(oLevel).toInt(&bNumber);
        if (!bNumber || oOptions.nLevel < oLevels->nLowest || oOptions.nLevel > oLevels->nHighest)
            return usageError(QStringLiteral("--level must be a number from %1 to %2 for %3.")
                                  .arg(oLevels->nLowest)
                                  .arg(oLevels->nHighest)
                                  .arg(shared::packMethodName(oOptions.eMethod)),
                              buildUsage());
    }
    oOptions.nJobs = QThread::idealThreadCount();
    if (oParser.isSet(oJobs)) {
        bool bNumber = false;
        oOptions.nJobs = oParser.value(oJobs).toInt(&bNumber);
        if (!bNumber || oOptions.nJobs < 1 || oOptions.nJobs > 256)
            return usageError(QStringLiteral("--jobs must be a number from 1 to 256."), buildUsage());
    }
    oOptions.nJobs = std::max(oOptions.nJobs, 1);

    TPublisher oPublisher(oOptions);
    return oPublisher.run();
}
