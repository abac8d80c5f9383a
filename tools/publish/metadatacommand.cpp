#include "commands.h"

#include "documentswap.h"
#include "jsontext.h"
#include "toolio.h"

#include "launcher/documents/envelopecheck.h"
#include "launcher/documents/signedenvelope.h"
#include "shared/ed25519privatekey.h"
#include "shared/sha256.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include <algorithm>
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
        "         [--sign KEYFILE [--expires DAYS]]\n"
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
        "  --sign KEYFILE             also write FILE.signed, the metadata signed with the key in\n"
        "                             KEYFILE (see keygen), and name every build's documents in it\n"
        "                             with their size and SHA-256, so that launchers that trust the\n"
        "                             key take no other documents. The documents must lie next to FILE\n"
        "                             at their (relative) addresses.\n"
        "  --expires DAYS             launchers take the signed metadata for DAYS days (default 30, at\n"
        "                             most 3650); sign again before then, e.g. from a daily job\n"
        "Document addresses may be relative: the launcher resolves them against the address of\n"
        "FILE, so a CDN folder published next to FILE is named by its folder, e.g. live/package.json.\n"
        "Exit codes: 0 written, 1 failed, 2 wrong command line.\n");
}

constexpr int kDefaultExpiryDays = 30;
constexpr int kLongestExpiryDays = 3650;

struct TPackageEntry
{
    QString sName;
    QString sDirectory;
    QString sUrl;
    QString sAssetsUrl;
    QString sLogoLink;
    bool bInstallAutomatically = false;
    // With --sign: the size and hash members of the build's documents.
    QList<QByteArray> lPins;
};

QByteArray packageObject(const TPackageEntry& oPackage)
{
    QList<QByteArray> lBuild{jsonMember("os", jsonString(QStringLiteral("linux"))),
                             jsonMember("architecture", jsonString(QStringLiteral("x86_64"))),
                             jsonMember("url", jsonString(oPackage.sUrl))};
    if (!oPackage.sAssetsUrl.isEmpty())
        lBuild << jsonMember("assetsurl", jsonString(oPackage.sAssetsUrl));
    lBuild << oPackage.lPins;
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

// The size and hash members that pin the document at a relative address next
// to the metadata. Throws std::runtime_error when it cannot be read.
QList<QByteArray> pinMembers(const QDir& oBase, const QString& sAddress, const char* pSizeKey, const char* pHashKey)
{
    const QByteArray aDocument = readWholeFile(oBase.filePath(QUrl(sAddress).path()));
    return {jsonMember(pSizeKey, jsonNumber(quint64(aDocument.size()))),
            jsonMember(pHashKey, jsonString(QString::fromLatin1(shared::TSha256::hash(aDocument).toHex())))};
}

void pinDocuments(const QDir& oBase, TPackageEntry& oPackage)
{
    oPackage.lPins = pinMembers(oBase, oPackage.sUrl, "packagesize", "packagehash");
    if (!oPackage.sAssetsUrl.isEmpty())
        oPackage.lPins << pinMembers(oBase, oPackage.sAssetsUrl, "assetssize", "assetshash");
}

// The document's signed envelope: its serial grows past the one already
// published, and is never below the time, so that it also grows across machines.
QByteArray envelopeFor(const QByteArray& aDocument, const QString& sEnvelopePath, const QString& sKeyFile, int nDays)
{
    const shared::TEd25519PrivateKey oKey = shared::TEd25519PrivateKey::fromPem(readWholeFile(sKeyFile));
    const qint64 nNow = QDateTime::currentSecsSinceEpoch();
    quint64 nSerial = quint64(nNow);
    if (QFileInfo::exists(sEnvelopePath)) {
        if (const auto oPublished = velmar::launcher::TSignedEnvelope::read(readWholeFile(sEnvelopePath)))
            nSerial = std::max(nSerial, oPublished->serial() + 1);
    }
    return velmar::launcher::TSignedEnvelope::seal(aDocument, nSerial, nNow, nNow + qint64(nDays) * 24 * 60 * 60, oKey);
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
    QString sKeyFile;
    QString sExpires;

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
        else if (sOption == QLatin1String("--sign"))
            bHasValue = value(sKeyFile);
        else if (sOption == QLatin1String("--expires"))
            bHasValue = value(sExpires);
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

    const bool bSign = !sKeyFile.isEmpty();
    int nExpiryDays = kDefaultExpiryDays;
    if (!sExpires.isEmpty()) {
        bool bNumber = false;
        nExpiryDays = sExpires.toInt(&bNumber);
        if (!bSign)
            return usageError(QStringLiteral("--expires belongs to --sign."), metadataUsage());
        if (!bNumber || nExpiryDays < 1 || nExpiryDays > kLongestExpiryDays)
            return usageError(QStringLiteral("--expires takes a number of days from 1 to %1.").arg(kLongestExpiryDays),
                              metadataUsage());
    }
    const QDir oBase = QFileInfo(sOutput).absoluteDir();
    if (bSign) {
        QStringList lAddresses{oLauncher.sUrl, oLauncher.sAssetsUrl};
        for (const TPackageEntry& oPackage : lPackages)
            lAddresses << oPackage.sUrl << oPackage.sAssetsUrl;
        for (const QString& sAddress : qAsConst(lAddresses)) {
            if (!sAddress.isEmpty() && !QUrl(sAddress).isRelative())
                return usageError(QStringLiteral("'%1': with --sign every document address must be relative, so that its\n"
                                                 "document is found next to FILE and pinned.")
                                      .arg(sAddress),
                                  metadataUsage());
        }
        try {
            if (bLauncher)
                pinDocuments(oBase, oLauncher);
            for (TPackageEntry& oPackage : lPackages)
                pinDocuments(oBase, oPackage);
        } catch (const std::exception& oError) {
            printError(QStringLiteral("Cannot pin a document: %1").arg(QString::fromUtf8(oError.what())));
            return kExitFailure;
        }
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

    const QString sEnvelopePath = sOutput + QLatin1String(velmar::launcher::TSignedEnvelope::kFileSuffix);
    try {
        if (bSign) {
            const QByteArray aEnvelope = envelopeFor(aDocument, sEnvelopePath, sKeyFile, nExpiryDays);
            // Both or neither: the plain document for launchers without keys, the envelope for the others.
            TDocumentSwap oSwap(oBase.absolutePath());
            oSwap.stage(QFileInfo(sOutput).fileName(), aDocument);
            oSwap.stage(QFileInfo(sEnvelopePath).fileName(), aEnvelope);
            oSwap.commit();
            const auto oEnvelope = velmar::launcher::TSignedEnvelope::read(aEnvelope);
            printOut(QStringLiteral("Signed '%1': serial %2, key ID %3, expires on %4.\n")
                         .arg(sEnvelopePath)
                         .arg(oEnvelope->serial())
                         .arg(QString::fromLatin1(oEnvelope->keyId().toHex()),
                              velmar::launcher::TEnvelopeCheck::timeText(oEnvelope->expiresAt())));
        } else {
            writeFileAtomically(sOutput, aDocument);
        }
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        return kExitFailure;
    }
    if (!bSign && QFileInfo::exists(sEnvelopePath))
        printError(QStringLiteral("Note: '%1' still holds earlier signed metadata, which launchers that check signatures\n"
                                  "read instead until it expires: sign with --sign, or remove it.")
                       .arg(sEnvelopePath));
    // Relative addresses are resolved against the document's own place, which
    // usually mirrors this folder: say so when a document is not there (yet).
    QStringList lAddresses{oLauncher.sUrl, oLauncher.sAssetsUrl};
    for (const TPackageEntry& oPackage : lPackages)
        lAddresses << oPackage.sUrl << oPackage.sAssetsUrl;
    for (const QString& sAddress : qAsConst(lAddresses)) {
        if (!sAddress.isEmpty() && QUrl(sAddress).isRelative() && !QFileInfo::exists(oBase.filePath(QUrl(sAddress).path())))
            printError(QStringLiteral("Note: '%1' does not exist next to '%2' (yet).").arg(sAddress, sOutput));
    }
    return kExitSuccess;
}
