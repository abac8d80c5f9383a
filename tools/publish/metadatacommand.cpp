#include "commands.h"

#include "jsontext.h"
#include "toolio.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include <exception>
#include <optional>

namespace {

QString metadataUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish metadata --out FILE\n"
        "         [--launcher-url URL [--launcher-assets-url URL] [--launcher-name NAME]\n"
        "          [--launcher-directory DIR]]\n"
        "         [--package NAME --directory DIR --url URL [--assets-url URL]\n"
        "          [--install-automatically] [--logo-link URL]]...\n"
        "         [--hints URL] [--funnel URL] [--hardwaresurvey URL]\n"
        "         [--prevent-default-autostart] [--show-package-names]\n"
        "Writes the launcher metadata document FILE: the launcher's own package and the client\n"
        "packages in the order given, each with one linux x86_64 build.\n"
        "  --launcher-url URL         package.json of the launcher itself (for its self-update)\n"
        "  --launcher-assets-url URL  its assets.json\n"
        "  --launcher-name NAME, --launcher-directory DIR   its name and folder\n"
        "  --package NAME             starts a client package; the options below, up to the next\n"
        "                             --package, belong to it\n"
        "    --directory DIR          its folder below the launcher's packages folder (required)\n"
        "    --url URL                its package.json (required)\n"
        "    --assets-url URL         its assets.json\n"
        "    --install-automatically  install it on the first start of the launcher\n"
        "    --logo-link URL          where a click on its logo leads\n"
        "  --hints URL, --funnel URL, --hardwaresurvey URL   the service addresses, absolute\n"
        "  --prevent-default-autostart, --show-package-names   the two display flags\n"
        "Document addresses may be relative: the launcher resolves them against the address of\n"
        "FILE, so a CDN folder published next to FILE is named by its folder, e.g. live/package.json.\n"
        "Exit codes: 0 written, 1 failed, 2 wrong command line.\n");
}

struct TPackageEntry
{
    QString sName;
    QString sDirectory;
    QString sUrl;
    QString sAssetsUrl;
    QString sLogoLink;
    bool bInstallAutomatically = false;
};

QByteArray packageObject(const TPackageEntry& oPackage)
{
    QList<QByteArray> lBuild{jsonMember("os", jsonString(QStringLiteral("linux"))),
                             jsonMember("architecture", jsonString(QStringLiteral("x86_64"))),
                             jsonMember("url", jsonString(oPackage.sUrl))};
    if (!oPackage.sAssetsUrl.isEmpty())
        lBuild << jsonMember("assetsurl", jsonString(oPackage.sAssetsUrl));
    QList<QByteArray> lMembers{jsonMember("name", jsonString(oPackage.sName)),
                               jsonMember("directoryname", jsonString(oPackage.sDirectory))};
    if (!oPackage.sLogoLink.isEmpty())
        lMembers << jsonMember("logolinktarget", jsonString(oPackage.sLogoLink));
    lMembers << jsonMember("installautomatically", jsonBool(oPackage.bInstallAutomatically))
             << jsonMember("builds", "[" + jsonObject(lBuild) + "]");
    return jsonObject(lMembers);
}

bool isAbsoluteUrl(const QString& sText)
{
    const QUrl oUrl(sText, QUrl::StrictMode);
    return oUrl.isValid() && (oUrl.scheme() == QLatin1String("http") || oUrl.scheme() == QLatin1String("https"))
           && !oUrl.host().isEmpty();
}

bool isDocumentAddress(const QString& sText)
{
    const QUrl oUrl(sText, QUrl::StrictMode);
    return oUrl.isValid() && !sText.isEmpty() && (oUrl.isRelative() || isAbsoluteUrl(sText));
}

// A folder name the launcher can create below its packages folder.
bool isFolderName(const QString& sText)
{
    return !sText.isEmpty() && sText != QLatin1String(".") && sText != QLatin1String("..")
           && !sText.contains(QLatin1Char('/')) && !sText.contains(QLatin1Char('\\'));
}

} // namespace

int runMetadata(const QStringList& lArguments)
{
    if (wantsHelp(lArguments)) {
        printOut(metadataUsage());
        return kExitSuccess;
    }
    QString sOutput;
    TPackageEntry oLauncher;
    std::vector<TPackageEntry> lPackages;
    QString sHints;
    QString sFunnel;
    QString sSurvey;
    bool bPreventAutostart = false;
    bool bShowNames = false;

    // Options are read in order, because those of a package follow its --package.
    for (int nIndex = 0; nIndex < lArguments.size(); ++nIndex) {
        QString sOption = lArguments.at(nIndex);
        std::optional<QString> sInlineValue;
        if (const int nEquals = sOption.indexOf(QLatin1Char('=')); sOption.startsWith(QLatin1String("--")) && nEquals > 0) {
            sInlineValue = sOption.mid(nEquals + 1);
            sOption = sOption.left(nEquals);
        }
        const auto value = [&](QString& sTarget) -> bool {
            if (sInlineValue) {
                sTarget = *sInlineValue;
                return true;
            }
            if (nIndex + 1 >= lArguments.size())
                return false;
            sTarget = lArguments.at(++nIndex);
            return true;
        };
        const auto packageValue = [&](QString TPackageEntry::*pField) -> int {
            if (lPackages.empty())
                return usageError(QStringLiteral("%1 belongs to a package: give --package first.").arg(sOption),
                                  metadataUsage());
            if (!value(lPackages.back().*pField))
                return usageError(QStringLiteral("%1 needs a value.").arg(sOption), metadataUsage());
            return kExitSuccess;
        };
        const auto flag = [&](bool& bTarget) -> int {
            if (sInlineValue)
                return usageError(QStringLiteral("%1 takes no value.").arg(sOption), metadataUsage());
            bTarget = true;
            return kExitSuccess;
        };
        int nResult = kExitSuccess;
        bool bHasValue = true;
        if (sOption == QLatin1String("--out"))
            bHasValue = value(sOutput);
        else if (sOption == QLatin1String("--launcher-url"))
            bHasValue = value(oLauncher.sUrl);
        else if (sOption == QLatin1String("--launcher-assets-url"))
            bHasValue = value(oLauncher.sAssetsUrl);
        else if (sOption == QLatin1String("--launcher-name"))
            bHasValue = value(oLauncher.sName);
        else if (sOption == QLatin1String("--launcher-directory"))
            bHasValue = value(oLauncher.sDirectory);
        else if (sOption == QLatin1String("--package")) {
            lPackages.emplace_back();
            bHasValue = value(lPackages.back().sName);
        } else if (sOption == QLatin1String("--directory"))
            nResult = packageValue(&TPackageEntry::sDirectory);
        else if (sOption == QLatin1String("--url"))
            nResult = packageValue(&TPackageEntry::sUrl);
        else if (sOption == QLatin1String("--assets-url"))
            nResult = packageValue(&TPackageEntry::sAssetsUrl);
        else if (sOption == QLatin1String("--logo-link"))
            nResult = packageValue(&TPackageEntry::sLogoLink);
        else if (sOption == QLatin1String("--install-automatically")) {
            if (lPackages.empty())
                return usageError(QStringLiteral("%1 belongs to a package: give --package first.").arg(sOption),
                                  metadataUsage());
            nResult = flag(lPackages.back().bInstallAutomatically);
        } else if (sOption == QLatin1String("--hints"))
            bHasValue = value(sHints);
        else if (sOption == QLatin1String("--funnel"))
            bHasValue = value(sFunnel);
        else if (sOption == QLatin1String("--hardwaresurvey"))
            bHasValue = value(sSurvey);
        else if (sOption == QLatin1String("--prevent-default-autostart"))
            nResult = flag(bPreventAutostart);
        else if (sOption == QLatin1String("--show-package-names"))
            nResult = flag(bShowNames);
        else
            return usageError(QStringLiteral("Unknown argument '%1'.").arg(lArguments.at(nIndex)), metadataUsage());
        if (!bHasValue)
            return usageError(QStringLiteral("%1 needs a value.").arg(sOption), metadataUsage());
        if (nResult != kExitSuccess)
            return nResult;
    }

    if (sOutput.isEmpty())
        return usageError(QStringLiteral("--out is required."), metadataUsage());
    const bool bLauncher = !oLauncher.sUrl.isEmpty();
    if (!bLauncher && (!oLauncher.sAssetsUrl.isEmpty() || !oLauncher.sName.isEmpty() || !oLauncher.sDirectory.isEmpty()))
        return usageError(QStringLiteral("The launcher's options need --launcher-url."), metadataUsage());
    if (bLauncher && (!isDocumentAddress(oLauncher.sUrl)
                      || (!oLauncher.sAssetsUrl.isEmpty() && !isDocumentAddress(oLauncher.sAssetsUrl))))
        return usageError(QStringLiteral("The launcher's addresses must be relative or http(s) URLs."), metadataUsage());
    QSet<QString> lDirectories;
    for (const TPackageEntry& oPackage : lPackages) {
        const QString sWhich = QStringLiteral("Package '%1'").arg(oPackage.sName);
        if (!isFolderName(oPackage.sDirectory))
            return usageError(sWhich + QStringLiteral(": --directory must be one folder name."), metadataUsage());
        if (lDirectories.contains(oPackage.sDirectory))
            return usageError(sWhich + QStringLiteral(": another package already installs into '%1'.").arg(oPackage.sDirectory),
                              metadataUsage());
        lDirectories.insert(oPackage.sDirectory);
        if (!isDocumentAddress(oPackage.sUrl))
            return usageError(sWhich + QStringLiteral(": --url must be a relative or http(s) URL."), metadataUsage());
        if (!oPackage.sAssetsUrl.isEmpty() && !isDocumentAddress(oPackage.sAssetsUrl))
            return usageError(sWhich + QStringLiteral(": --assets-url must be a relative or http(s) URL."), metadataUsage());
        if (!oPackage.sLogoLink.isEmpty() && !isAbsoluteUrl(oPackage.sLogoLink))
            return usageError(sWhich + QStringLiteral(": --logo-link must be an http(s) URL."), metadataUsage());
    }
    for (const QString* pService : {&sHints, &sFunnel, &sSurvey}) {
        if (!pService->isEmpty() && !isAbsoluteUrl(*pService))
            return usageError(QStringLiteral("'%1' is not an http(s) URL; the launcher uses service addresses as written.")
                                  .arg(*pService),
                              metadataUsage());
    }

    QByteArray aDocument = "{\n";
    if (bLauncher)
        aDocument += "  " + jsonMember("launcher", packageObject(oLauncher)) + ",\n";
    if (lPackages.empty()) {
        aDocument += "  " + jsonMember("packages", "[]") + ",\n";
    } else {
        aDocument += "  " + jsonMember("packages", "[\n");
        for (size_t nIndex = 0; nIndex < lPackages.size(); ++nIndex)
            aDocument += "    " + packageObject(lPackages[nIndex]) + (nIndex + 1 < lPackages.size() ? ",\n" : "\n");
        aDocument += "  ],\n";
    }
    if (!sHints.isEmpty())
        aDocument += "  " + jsonMember("hints", jsonString(sHints)) + ",\n";
    if (!sFunnel.isEmpty())
        aDocument += "  " + jsonMember("funnel", jsonString(sFunnel)) + ",\n";
    if (!sSurvey.isEmpty())
        aDocument += "  " + jsonMember("hardwaresurvey", jsonString(sSurvey)) + ",\n";
    aDocument += "  " + jsonMember("preventdefaultautostart", jsonBool(bPreventAutostart)) + ",\n";
    aDocument += "  " + jsonMember("showpackagenames", jsonBool(bShowNames)) + "\n}\n";

    try {
        writeFileAtomically(sOutput, aDocument);
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        return kExitFailure;
    }
    // Relative addresses are resolved against the document's own place, which
    // usually mirrors this folder: say so when a document is not there (yet).
    const QDir oBase = QFileInfo(sOutput).absoluteDir();
    QStringList lAddresses{oLauncher.sUrl, oLauncher.sAssetsUrl};
    for (const TPackageEntry& oPackage : lPackages)
        lAddresses << oPackage.sUrl << oPackage.sAssetsUrl;
    for (const QString& sAddress : qAsConst(lAddresses)) {
        if (!sAddress.isEmpty() && QUrl(sAddress).isRelative() && !QFileInfo::exists(oBase.filePath(QUrl(sAddress).path())))
            printError(QStringLiteral("Note: '%1' does not exist next to '%2' (yet).").arg(sAddress, sOutput));
    }
    return kExitSuccess;
}
