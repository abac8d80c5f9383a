// corvane-install: the launcher's install engine without its window.
//   corvane-install uninstall FOLDER
//   corvane-install install|update|verify URL-OF-PACKAGE-DOCUMENT FOLDER
//                   [--assets URL] [--mirror URL]... [--jobs N] [--limit-rate RATE]
//                   [--progress line|json] [--settings FILE]
//   corvane-install install|update|verify FOLDER --metadata URL --package NAME
//                   [--trusted-key KEY]... [--state FILE] [--mirror URL]... [--jobs N] [--limit-rate RATE]
//                   [--progress line|json] [--settings FILE]

#include "installdriver.h"
#include "mallocarenas.h"
#include "progressjson.h"
#include "stopsignals.h"

#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/launcherresources.h"
#include "launcher/documents/trustedkeys.h"
#include "launcher/documents/launchersettings.h"
#include "launcher/documents/mirrorlist.h"
#include "launcher/engine/packageuninstall.h"

#include "shared/eventloopchoice.h"
#include "shared/systemproxies.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: corvane-install install|update|verify URL-OF-PACKAGE-DOCUMENT FOLDER [--assets URL] [--mirror URL]...\n"
    "                       [--jobs N] [--limit-rate RATE] [--progress line|json] [--settings FILE]\n"
    "       corvane-install install|update|verify FOLDER --metadata URL --package NAME [--trusted-key KEY]...\n"
    "                       [--state FILE] [--mirror URL]... [--jobs N] [--limit-rate RATE] [--progress line|json]\n"
    "                       [--settings FILE]\n"
    "       corvane-install uninstall FOLDER [--settings FILE] [--progress line|json]\n"
    "  install, update  bring FOLDER to the package's version, reusing what lies in it, then verify every file\n"
    "  verify           check every installed file of FOLDER against the version installed there; given\n"
    "                   the document's URL, it fetches nothing\n"
    "  uninstall        delete exactly the files that FOLDER's installed package lists, the bytes of chunks\n"
    "                   partly received (.corvane-partial), its marker files, then the folders this emptied;\n"
    "                   nothing else\n"
    "  --assets URL     the package's asset document\n"
    "  --mirror URL     a base address that serves a copy of the package document's folder; repeatable, tried\n"
    "                   in order after the document's own folder (and after the metadata's mirrors) for every\n"
    "                   chunk the documents list at a relative address; a source that fails twice in a row is\n"
    "                   tried last. http or https, and https for an https document. The documents themselves\n"
    "                   come from their own address only\n"
    "  --jobs N         chunks fetched at once (the settings' maxConcurrentDownloads otherwise)\n"
    "  --limit-rate RATE  bytes a second all transfers together may take, with K, M or G for\n"
    "                   1024, 1024² or 1024³ (5M); 0: no limit (the settings' bandwidthLimit otherwise)\n"
    "  --progress json  progress as one JSON object a line on standard output: {\"step\", \"bytesDone\",\n"
    "                   \"bytesTotal\", \"bytesPerSecond\", \"secondsLeft\"}, at most one a second per step\n"
    "                   and one at its end, then {\"outcome\": complete|failed|interrupted, \"reason\"};\n"
    "                   line (the default): the progress line on standard error\n"
    "  --settings FILE  launcher settings to use instead of the built-in ones\n"
    "  --verbose        log every step of the engine on standard error\n"
    "  --metadata URL   the launcher metadata, whose package NAME (--package) is installed with the documents\n"
    "                   it names, as the launcher would\n"
    "  --trusted-key KEY  a publisher key (as corvane-publish keygen prints it) whose signed metadata is\n"
    "                   required, with its documents pinned, no older state than seen before and not expired;\n"
    "                   repeatable; needs --metadata\n"
    "  --state FILE     where the serial of the signed metadata accepted so far is kept (the per-user state\n"
    "                   otherwise)\n"
    "Requests go through the proxy that http_proxy, https_proxy or all_proxy name, except for no_proxy.\n"
    "Exit code 0 when every file of the package is in place and its hash verified, 1 on failure, 2 on misuse,\n"
    "130 or 143 when SIGINT or SIGTERM stopped it (the next run goes on from there).\n"
    "Files in FOLDER that the package never had are left alone. The documents may be file:// URLs (local\n"
    "media); their chunks are then the regular files below the documents' own folder, never links.\n";

bool s_bVerbose = false;

// The engine logs every step for the launcher's log file; the tool tells the
// outcome in its own words, so the log is shown only when asked for.
void printMessage(QtMsgType eType, const QMessageLogContext&, const QString& sMessage)
{
    if (!s_bVerbose && eType != QtFatalMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(sMessage));
}

int usage(const QString& sReason)
{
    std::fprintf(stderr, "corvane-install: %s\n%s", qPrintable(sReason), kUsage);
    return 2;
}

// "5M" → 5242880; -1 when the text is no rate.
qint64 parseRate(const QString& sText)
{
    static const QString kUnits = QStringLiteral("KMG");
    QString sNumber = sText.trimmed();
    qint64 nFactor = 1;
    const int nUnit = sNumber.isEmpty() ? -1 : kUnits.indexOf(sNumber.back().toUpper());
    if (nUnit >= 0) {
        nFactor = qint64(1) << (10 * (nUnit + 1));
        sNumber.chop(1);
    }
    bool bNumber = false;
    const double dValue = sNumber.toDouble(&bNumber);
    if (!bNumber || !(dValue >= 0) || dValue * double(nFactor) > 1e15)
        return -1;
    return qint64(dValue * double(nFactor));
}

int uninstall(const QString& sFolder, const QString& sSettings, bool bJson)
{
    velmar::launcher::initLauncherResources();
    const velmar::launcher::TLauncherSettings oSettings(sSettings.isEmpty() ? QStringLiteral(":/settings/launchersettings.ini")
                                                                             : sSettings);
    velmar::launcher::TPackageUninstall oUninstall(sFolder, oSettings);
    const bool bDone = oUninstall.plan() && oUninstall.run();
    if (!bDone)
        std::fprintf(stderr, "corvane-install: %s\n", qPrintable(oUninstall.errorString()));
    else
        std::fprintf(stderr, "%s: uninstalled, %d files, %.1f MB freed\n", qPrintable(QDir::toNativeSeparators(sFolder)),
                     oUninstall.fileCount(), double(oUninstall.bytesFreed()) / 1e6);
    if (bJson)
        TProgressJson().outcome(bDone ? QStringLiteral("complete") : QStringLiteral("failed"), bDone ? QString() : oUninstall.errorString());
    return bDone ? 0 : 1;
}

bool absoluteUrl(const QString& sText, QUrl& oUrl)
{
    oUrl = QUrl(sText, QUrl::StrictMode);
    return oUrl.isValid() && !oUrl.isRelative();
}

} // namespace

int main(int argc, char* argv[])
{
    limitMallocArenas();
    shared::useQtEventLoops();
    QCoreApplication oApplication(argc, argv);
    shared::forgetEventLoopChoice();
    shared::useSystemProxies();
    QStringList lArguments = QCoreApplication::arguments().mid(1);
    s_bVerbose = lArguments.removeAll(QStringLiteral("--verbose")) > 0;
    qInstallMessageHandler(printMessage);
    if (!s_bVerbose)
        QLoggingCategory::setFilterRules(QStringLiteral("corvane.install.debug=false\ncorvane.install.info=false"));
    if (lArguments.contains(QStringLiteral("--help")) || lArguments.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    QString sAssets, sJobs, sSettings, sMetadata, sPackage, sState, sKey, sRate, sProgress;
    QStringList lPositional, lMirrors;
    velmar::launcher::TTrustedKeys oKeys;
    for (int nArgument = 0; nArgument < lArguments.size(); ++nArgument) {
        const QString& sArgument = lArguments[nArgument];
        if (sArgument == QLatin1String("--mirror")) {
            if (++nArgument >= lArguments.size())
                return usage(QStringLiteral("%1 needs a value.").arg(sArgument));
            lMirrors << lArguments[nArgument];
            continue;
        }
        QString* pValue = sArgument == QLatin1String("--assets")        ? &sAssets
                          : sArgument == QLatin1String("--jobs")        ? &sJobs
                          : sArgument == QLatin1String("--settings")    ? &sSettings
                          : sArgument == QLatin1String("--metadata")    ? &sMetadata
                          : sArgument == QLatin1String("--package")     ? &sPackage
                          : sArgument == QLatin1String("--state")       ? &sState
                          : sArgument == QLatin1String("--trusted-key") ? &sKey
                          : sArgument == QLatin1String("--limit-rate")  ? &sRate
                          : sArgument == QLatin1String("--progress")    ? &sProgress
                                                                        : nullptr;
        if (!pValue) {
            if (sArgument.startsWith(QLatin1String("--")))
                return usage(QStringLiteral("Unknown option %1.").arg(sArgument));
            lPositional << sArgument;
        } else if (++nArgument < lArguments.size()) {
            *pValue = lArguments[nArgument];
            if (pValue == &sKey && (sKey.trimmed().isEmpty() || !oKeys.add(sKey).isEmpty()))
                return usage(QStringLiteral("%1 is no public key.").arg(sKey));
        } else {
            return usage(QStringLiteral("%1 needs a value.").arg(sArgument));
        }
    }
    if (lPositional.value(0) == QLatin1String("uninstall")) {
        if (lPositional.size() != 2)
            return usage(QStringLiteral("Expected uninstall and a folder."));
        if (!sSettings.isEmpty() && !QFileInfo(sSettings).isFile())
            return usage(QStringLiteral("No settings file %1.").arg(sSettings));
        return uninstall(QDir::cleanPath(QFileInfo(lPositional[1]).absoluteFilePath()), sSettings, sProgress == QLatin1String("json"));
    }
    const bool bMetadata = !sMetadata.isEmpty();
    if (oKeys.isChecking() && !bMetadata)
        return usage(QStringLiteral("--trusted-key needs --metadata."));
    if (!sState.isEmpty() && !bMetadata)
        return usage(QStringLiteral("--state needs --metadata."));
    if (bMetadata != !sPackage.isEmpty())
        return usage(QStringLiteral("--metadata and --package go together."));
    if (bMetadata && !sAssets.isEmpty())
        return usage(QStringLiteral("--assets comes from the metadata with --metadata."));
    if (lPositional.size() != (bMetadata ? 2 : 3))
        return usage(bMetadata ? QStringLiteral("Expected a command and a folder.")
                               : QStringLiteral("Expected a command, a URL and a folder."));
    const QString& sCommand = lPositional[0];
    if (sCommand != QLatin1String("install") && sCommand != QLatin1String("update") && sCommand != QLatin1String("verify"))
        return usage(QStringLiteral("Unknown command %1.").arg(sCommand));
    QUrl oPackageUrl, oAssetUrl, oMetadataUrl;
    if (bMetadata && !absoluteUrl(sMetadata, oMetadataUrl))
        return usage(QStringLiteral("%1 is not an absolute URL.").arg(sMetadata));
    if (!bMetadata && !absoluteUrl(lPositional[1], oPackageUrl))
        return usage(QStringLiteral("%1 is not an absolute URL.").arg(lPositional[1]));
    if (!sAssets.isEmpty() && !absoluteUrl(sAssets, oAssetUrl))
        return usage(QStringLiteral("%1 is not an absolute URL.").arg(sAssets));
    if (lMirrors.size() > velmar::launcher::kMaximumMirrors)
        return usage(QStringLiteral("At most %1 mirrors.").arg(velmar::launcher::kMaximumMirrors));
    // With --metadata the package document's address comes later, and so does the check against it.
    std::vector<QUrl> lCheckedMirrors;
    for (const QString& sMirror : qAsConst(lMirrors)) {
        const QString sProblem = velmar::launcher::addMirror(lCheckedMirrors, sMirror, bMetadata ? QUrl() : oPackageUrl);
        if (!sProblem.isEmpty())
            return usage(sProblem);
    }
    bool bNumber = true;
    const int nJobs = sJobs.isEmpty() ? 0 : sJobs.toInt(&bNumber);
    if (!bNumber || nJobs < 0)
        return usage(QStringLiteral("--jobs takes a positive number."));
    if (!sProgress.isEmpty() && sProgress != QLatin1String("json") && sProgress != QLatin1String("line"))
        return usage(QStringLiteral("--progress takes line or json."));
    const qint64 nRate = sRate.isEmpty() ? -1 : parseRate(sRate);
    if (!sRate.isEmpty() && nRate < 0)
        return usage(QStringLiteral("--limit-rate takes a number of bytes a second, such as 500K or 5M."));
    const QString sFolder = QDir::cleanPath(QFileInfo(lPositional.last()).absoluteFilePath());
    if (QFileInfo(sFolder).fileName().isEmpty())
        return usage(QStringLiteral("%1 cannot be a package folder.").arg(lPositional.last()));
    if (!sSettings.isEmpty() && !QFileInfo(sSettings).isFile())
        return usage(QStringLiteral("No settings file %1.").arg(sSettings));

    // The engine reads its settings from a file: a private copy carries what the
    // command line adds. The package folder is FOLDER itself, and every file is
    // verified, whatever the settings say about verification.
    velmar::launcher::initLauncherResources();
    QTemporaryDir oScratch;
    const QString sIni = oScratch.filePath(QStringLiteral("launchersettings.ini"));
    if (!oScratch.isValid()
        || !QFile::copy(sSettings.isEmpty() ? QStringLiteral(":/settings/launchersettings.ini") : sSettings, sIni)) {
        std::fprintf(stderr, "corvane-install: cannot prepare the settings in the temporary folder\n");
        return 1;
    }
    QFile::setPermissions(sIni, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    {
        // A key met again later in the file wins.
        QFile oIni(sIni);
        QByteArray aOverrides = "\n[DIRECTORIES]\npackages=.\n[OPTIONS]\nskipVerification=false\n";
        if (nJobs > 0)
            aOverrides += "maxConcurrentDownloads=" + QByteArray::number(nJobs) + '\n';
        if (nRate >= 0)
            aOverrides += "bandwidthLimit=" + QByteArray::number(nRate) + '\n';
        // Last: the keys above belong to [OPTIONS].
        if (bMetadata)
            aOverrides += "[URLS]\nlauncherConfiguration=" + oMetadataUrl.toEncoded() + '\n';
        if (!oIni.open(QIODevice::Append) || oIni.write(aOverrides) != aOverrides.size()) {
            std::fprintf(stderr, "corvane-install: cannot prepare the settings in the temporary folder\n");
            return 1;
        }
    }
    auto pHelper = std::make_shared<velmar::launcher::TLauncherFilesystemHelper>(QFileInfo(sFolder).path(), sIni);

    TInstallDriver oDriver(sCommand == QLatin1String("verify") ? TInstallDriver::Verify : TInstallDriver::Install,
                           oPackageUrl, oAssetUrl, sFolder, pHelper);
    if (sProgress == QLatin1String("json"))
        oDriver.setJsonProgress();
    oDriver.setMirrors(lMirrors);
    TStopSignals oStopSignals;
    QObject::connect(&oStopSignals, &TStopSignals::stopRequested, &oDriver, &TInstallDriver::interrupt);
    if (bMetadata) {
        // The signed metadata's local copy is of no use to a single run: it stays in the scratch folder.
        QCoreApplication::setOrganizationName(QStringLiteral("Quarlix GmbH"));
        oDriver.startFromMetadata(sPackage, std::make_shared<velmar::launcher::TLauncherFilesystemHelper>(oScratch.path(), sIni),
                                  oKeys, sState);
    } else {
        oDriver.start();
    }
    return QCoreApplication::exec();
}
