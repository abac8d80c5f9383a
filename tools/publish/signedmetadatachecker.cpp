#include "signedmetadatachecker.h"

#include "cdnchecker.h"
#include "progressreporter.h"
#include "toolio.h"

#include "launcher/documents/envelopecheck.h"
#include "launcher/documents/launcherconfigurationexception.h"
#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "launcher/documents/signedenvelope.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <exception>

using namespace velmar::launcher;

TSignedMetadataChecker::TSignedMetadataChecker(QString sMetadataFile, TTrustedKeys oKeys, int nJobs, qint64 nNow)
    : m_sMetadataFile(std::move(sMetadataFile)), m_oKeys(std::move(oKeys)), m_nJobs(nJobs), m_nNow(nNow)
{
}

QStringList TSignedMetadataChecker::check()
{
    const QString sEnvelopeFile = m_sMetadataFile + QLatin1String(TSignedEnvelope::kFileSuffix);
    QByteArray aEnvelope;
    try {
        aEnvelope = readWholeFile(sEnvelopeFile);
    } catch (const std::exception& oError) {
        return {QStringLiteral("no signed metadata: %1").arg(QString::fromUtf8(oError.what()))};
    }
    // Every serial is acceptable here: only a launcher knows what it has seen.
    const TEnvelopeCheck oCheck(aEnvelope, m_oKeys, 0, m_nNow);
    if (!oCheck.isAuthentic())
        return {QStringLiteral("'%1': %2").arg(sEnvelopeFile, oCheck.reason())};
    const TSignedEnvelope& oEnvelope = *oCheck.envelope();
    QStringList lProblems;
    if (!oCheck.isCurrent())
        lProblems << QStringLiteral("'%1': %2; launchers install nothing from it").arg(sEnvelopeFile, oCheck.reason());
    else if (oEnvelope.expiresAt() - m_nNow < kWarningBeforeExpiry)
        m_lWarnings << QStringLiteral("'%1' expires on %2, in %3 hours: sign the metadata again before then")
                           .arg(sEnvelopeFile, TEnvelopeCheck::timeText(oEnvelope.expiresAt()))
                           .arg((oEnvelope.expiresAt() - m_nNow) / 3600);

    QByteArray aPlain;
    try {
        aPlain = readWholeFile(m_sMetadataFile);
    } catch (const std::exception&) {
    }
    if (aPlain != oEnvelope.payload())
        lProblems << QStringLiteral("'%1' is not the metadata signed in '%2': launchers without keys read other metadata")
                         .arg(m_sMetadataFile, sEnvelopeFile);
    lProblems << checkBuilds(oEnvelope.payload());
    m_sSummary = QStringLiteral("serial %1, key ID %2, expires on %3; %4 documents pinned, %5 files, %6 chunks, %7 packed")
                     .arg(oEnvelope.serial())
                     .arg(QString::fromLatin1(oEnvelope.keyId().toHex()), TEnvelopeCheck::timeText(oEnvelope.expiresAt()))
                     .arg(m_nDocuments)
                     .arg(m_nFiles)
                     .arg(m_nChunks)
                     .arg(byteCountText(m_nPackedBytes));
    return lProblems;
}

QStringList TSignedMetadataChecker::checkBuilds(const QByteArray& aMetadata)
{
    const QString sFolder = QFileInfo(m_sMetadataFile).absolutePath();
    std::unique_ptr<TLauncherConfigurationReader> pReader;
    try {
        pReader = std::make_unique<TLauncherConfigurationReader>(aMetadata, QUrl::fromLocalFile(sFolder + QLatin1Char('/')));
    } catch (const TLauncherConfigurationException& oError) {
        return {QStringLiteral("the signed metadata is not JSON: %1").arg(QString::fromUtf8(oError.what()))};
    }
    std::vector<std::shared_ptr<TPackage>> lPackages;
    if (pReader->launcherPackage())
        lPackages.push_back(pReader->launcherPackage());
    lPackages.insert(lPackages.end(), pReader->packages().begin(), pReader->packages().end());

    QStringList lProblems;
    QSet<QString> lChecked;
    for (const std::shared_ptr<TPackage>& pPackage : lPackages) {
        const QString sPackage = pPackage->index() == TPackage::kLauncherIndex
                                     ? QStringLiteral("the launcher's package")
                                     : QStringLiteral("package '%1'").arg(pPackage->name());
        for (const std::unique_ptr<TPackageBuild>& pBuild : pPackage->builds()) {
            bool bSound = true;
            QStringList lPaths;
            const auto checkPin = [&](const QUrl& oUrl, const TDocumentPin& oPin) {
                if (!oUrl.isLocalFile()) {
                    m_lWarnings << QStringLiteral("%1: '%2' lies elsewhere and is not checked").arg(sPackage, oUrl.toString());
                    bSound = false;
                    return;
                }
                const QString sPath = oUrl.toLocalFile();
                lPaths << sPath;
                QString sMismatch;
                try {
                    sMismatch = oPin.mismatch(readWholeFile(sPath));
                } catch (const std::exception& oError) {
                    sMismatch = QString::fromUtf8(oError.what());
                }
                if (!sMismatch.isEmpty()) {
                    lProblems << QStringLiteral("%1: '%2': %3").arg(sPackage, QDir(sFolder).relativeFilePath(sPath), sMismatch);
                    bSound = false;
                }
                ++m_nDocuments;
            };
            checkPin(pBuild->packageConfigurationUrl(), pBuild->packagePin());
            if (!pBuild->assetConfigurationUrl().isEmpty())
                checkPin(pBuild->assetConfigurationUrl(), pBuild->assetPin());
            const QString sKey = lPaths.join(QLatin1Char('\n'));
            if (!bSound || lChecked.contains(sKey))
                continue;
            lChecked.insert(sKey);
            TCdnChecker oChecker(lPaths.value(0), lPaths.value(1), m_nJobs);
            for (const QString& sProblem : oChecker.check())
                lProblems << QStringLiteral("%1: %2").arg(sPackage, sProblem);
            m_nFiles += oChecker.fileCount();
            m_nChunks += oChecker.chunkCount();
            m_nPackedBytes += oChecker.packedBytes();
        }
    }
    return lProblems;
}
