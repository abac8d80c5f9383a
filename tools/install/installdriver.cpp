#include "installdriver.h"

#include "launcher/documents/configurationurl.h"
#include "launcher/documents/launcherconfigurationhandler.h"
#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/mirrorlist.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "launcher/engine/installationmanager.h"
#include "launcher/engine/packageinstallation.h"

#include "shared/downloadhandle.h"
#include "shared/downloadpool.h"
#include "shared/downloadretries.h"
#include "shared/qnetworkaccessmanagerwrapper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <algorithm>
#include <utility>
#include <csignal>
#include <cstdio>

using namespace velmar::launcher;

TInstallDriver::TInstallDriver(ECommand eCommand, QUrl oPackageUrl, QUrl oAssetUrl, const QString& sFolder,
                               std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper)
    : m_eCommand(eCommand)
    , m_oPackageUrl(std::move(oPackageUrl))
    , m_oAssetUrl(std::move(oAssetUrl))
    , m_sFolder(sFolder)
    , m_pFilesystemHelper(std::move(pFilesystemHelper))
{
}

TInstallDriver::~TInstallDriver() = default;

void TInstallDriver::createDocumentPool()
{
    auto pManager = std::make_shared<QNetworkAccessManager>();
    m_pDocumentPool = std::make_shared<shared::TDownloadPool>(2, std::make_shared<shared::QNetworkAccessManagerWrapper>(pManager));
    const std::shared_ptr<const TLauncherSettings>& pSettings = m_pFilesystemHelper->settings();
    m_pDocumentPool->setStallLimits(pSettings->stallTimeout(), pSettings->minimumTransferRate());
    m_pDocumentPool->setBandwidthLimiter(m_pFilesystemHelper->bandwidthLimiter());
}

void TInstallDriver::startFromMetadata(const QString& sPackage, std::shared_ptr<TLauncherFilesystemHelper> pMetadataHelper,
                                       const TTrustedKeys& oKeys, const QString& sStateFile)
{
    m_sPackageName = sPackage;
    createDocumentPool();
    m_pConfigurationHandler =
        std::make_unique<TLauncherConfigurationHandler>(m_pDocumentPool, std::move(pMetadataHelper), oKeys, sStateFile);
    TLauncherConfigurationHandler* pHandler = m_pConfigurationHandler.get();
    connect(pHandler, &TLauncherConfigurationHandler::mainConfigurationLoaded, this, &TInstallDriver::onMetadataLoaded);
    connect(pHandler, &TLauncherConfigurationHandler::mainConfigurationDownloadFailed, this,
            [this] { fail(QStringLiteral("The metadata could not be fetched.")); });
    connect(pHandler, &TLauncherConfigurationHandler::mainConfigurationRefused, this,
            [this](const QString& sReason) { fail(QStringLiteral("The signed metadata was refused: %1.").arg(sReason)); });
    connect(pHandler, &TLauncherConfigurationHandler::diskAccessFailed, this, &TInstallDriver::fail);
    connect(pHandler, &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished, this,
            &TInstallDriver::onMetadataDocumentsReceived);
    pHandler->startLoadingMainConfiguration();
}

void TInstallDriver::onMetadataLoaded()
{
    // Offline means an older copy: a headless install takes only what the server says now.
    if (m_pConfigurationHandler->isOffline()) {
        fail(QStringLiteral("The metadata could not be fetched."));
        return;
    }
    const auto& lPackages = m_pConfigurationHandler->launcherConfiguration()->packages();
    const bool bListed = std::any_of(lPackages.begin(), lPackages.end(),
                                     [this](const std::shared_ptr<TPackage>& pPackage) { return pPackage->name() == m_sPackageName; });
    if (!bListed) {
        fail(QStringLiteral("The metadata lists no package %1.").arg(m_sPackageName));
        return;
    }
    m_pConfigurationHandler->downloadPackageConfigurations();
}

void TInstallDriver::onMetadataDocumentsReceived()
{
    for (const std::shared_ptr<TPackage>& pPackage : m_pConfigurationHandler->launcherConfiguration()->packages()) {
        if (pPackage->name() != m_sPackageName)
            continue;
        const TPackageBuild* pBuild = pPackage->platformBuild();
        if (!pBuild) {
            fail(QStringLiteral("Package %1 has no build for this system.").arg(m_sPackageName));
            return;
        }
        if (!pBuild->configuration() || !pBuild->configuration()->isValid()) {
            fail(QStringLiteral("The documents of package %1 could not be fetched, or are not the documents the metadata "
                                "names (--verbose tells why).")
                     .arg(m_sPackageName));
            return;
        }
        m_oPackageUrl = pBuild->packageConfigurationUrl();
        m_oAssetUrl = pBuild->assetConfigurationUrl();
        m_lMetadataMirrors = pBuild->mirrors();
        proceed(pBuild->configuration());
        return;
    }
}

void TInstallDriver::start()
{
    // Verification checks the installed version against its own documents: the
    // published ones would cost a fetch and a parse, and fail the run while the
    // server is down. Queued, so that a refusal finds the event loop running.
    if (m_eCommand == Verify) {
        QMetaObject::invokeMethod(this, [this] { proceed(nullptr); }, Qt::QueuedConnection);
        return;
    }
    createDocumentPool();
    m_pDocuments = std::make_unique<shared::TDownloadHandle>(m_pDocumentPool);
    m_pDocumentRetries = std::make_unique<shared::TDownloadRetries>(*m_pDocuments);
    connect(m_pDocuments.get(), &shared::TDownloadHandle::success, this, [this](const QUrl& oUrl, const QByteArray& aData) {
        m_pDocumentRetries->forget(oUrl);
        // One address may serve as both documents; the pool fetches it once.
        if (oUrl == m_oPackageUrl) {
            m_aPackageDocument = aData;
            --m_nDocumentsMissing;
        }
        if (oUrl == m_oAssetUrl) {
            m_aAssetDocument = aData;
            --m_nDocumentsMissing;
        }
        if (m_nDocumentsMissing == 0)
            onDocumentsReceived();
    });
    connect(m_pDocuments.get(), &shared::TDownloadHandle::failed, this,
            [this](const QUrl& oUrl, QNetworkReply::NetworkError eCode, const QString& sError) {
                if (!m_pDocumentRetries->retryLater(oUrl, eCode))
                    fail(QStringLiteral("Fetching %1 failed: %2").arg(oUrl.toString(), sError));
            });
    m_nDocumentsMissing = m_oAssetUrl.isEmpty() ? 1 : 2;
    m_pDocuments->download(m_oPackageUrl);
    if (!m_oAssetUrl.isEmpty() && m_oAssetUrl != m_oPackageUrl)
        m_pDocuments->download(m_oAssetUrl);
}

void TInstallDriver::onDocumentsReceived()
{
    // Handed over, not copied: the reader pads the bytes it parses, and a copy still
    // shared here would make it hold a second document of tens of MiB for the whole run.
    auto pConfiguration = std::make_shared<const TPackageConfigurationReader>(
        std::exchange(m_aPackageDocument, {}), std::exchange(m_aAssetDocument, {}), urlWithoutFileName(m_oPackageUrl),
        urlWithoutFileName(m_oAssetUrl));
    if (!pConfiguration->isValid()) {
        fail(QStringLiteral("The package documents are not valid JSON."));
        return;
    }
    proceed(std::move(pConfiguration));
}

void TInstallDriver::proceed(std::shared_ptr<const TPackageConfigurationReader> pConfiguration)
{
    // The package folder is FOLDER itself: its name is the package's folder name
    // inside the packages folder, which is FOLDER's parent.
    m_pPackage = std::make_shared<TPackage>(QFileInfo(m_sFolder).fileName(), m_oPackageUrl, m_oAssetUrl,
                                            std::move(pConfiguration));
    std::vector<QUrl> lMirrors = m_lMetadataMirrors;
    for (const QString& sMirror : qAsConst(m_lMirrors)) {
        const QString sProblem = addMirror(lMirrors, sMirror, m_oPackageUrl);
        if (!sProblem.isEmpty()) {
            fail(sProblem);
            return;
        }
    }
    if (lMirrors.size() > size_t(kMaximumMirrors)) {
        fail(QStringLiteral("The metadata and the command line name more than %1 mirrors.").arg(kMaximumMirrors));
        return;
    }
    m_pPackage->builds().front()->setMirrors(std::move(lMirrors));
    m_pManager = std::make_unique<TInstallationManager>(nullptr, m_pFilesystemHelper);
    // An install from local media: documents read from a folder name its files.
    m_pManager->setLocalMediaAllowed(true);
    connect(m_pManager.get(), &TInstallationManager::installationOrUpdateStarted, this, &TInstallDriver::onStarted);
    connect(m_pManager.get(), &TInstallationManager::installationOrUpdateFinished, this, &TInstallDriver::onFinished);
    connect(m_pManager.get(), &TInstallationManager::diskAccessFailed, this, &TInstallDriver::fail);
    if (m_eCommand == Verify) {
        // Not the status: it would parse the installed document, which the
        // verification reads again anyway.
        if (!m_pManager->hasInstallation(*m_pPackage)) {
            fail(QStringLiteral("Nothing is installed in %1.").arg(m_sFolder));
            return;
        }
        m_pManager->verifyPackage(m_pPackage);
    } else {
        m_pManager->installOrUpdatePackage(m_pPackage);
    }
}

void TInstallDriver::onStarted(const std::shared_ptr<TPackageInstallation>& pInstallation)
{
    std::fprintf(stderr, "%s: %s -> %s\n", qPrintable(QDir::toNativeSeparators(m_sFolder)),
                 qPrintable(pInstallation->installedVersionLabel()), qPrintable(pInstallation->targetVersionLabel()));
    connect(pInstallation.get(), &TPackageInstallation::progress, this,
            [this](EInstallationStep eStep, shared::TFileSize nDone, shared::TFileSize nTotal, shared::TFileSize) {
                static const char* const kStepNames[] = {"scan", "download", "write", "verify"};
                progress(QString::fromLatin1(kStepNames[int(eStep)]), nDone, nTotal);
            });
}

void TInstallDriver::onFinished(const std::shared_ptr<TPackageInstallation>& pInstallation)
{
    m_oProgress.finish();
    if (!pInstallation->succeeded()) {
        const QString sMessage = pInstallation->errorMessage();
        fail(sMessage.isEmpty() ? QStringLiteral("The request failed (reason %1).").arg(int(pInstallation->errorReason()))
                                : sMessage);
        return;
    }
    std::fprintf(stderr, "%s is complete and verified: %s\n", qPrintable(QDir::toNativeSeparators(m_sFolder)),
                 qPrintable(pInstallation->configuration()->versionLabel()));
    if (m_pJson)
        m_pJson->outcome(QStringLiteral("complete"), QString(), pInstallation->configuration()->versionLabel());
    m_bDone = true;
    QCoreApplication::exit(0);
}

void TInstallDriver::interrupt(int nSignal)
{
    if (m_bDone)
        return;
    m_bDone = true;
    m_oProgress.finish();
    const QString sName = nSignal == SIGINT ? QStringLiteral("SIGINT") : nSignal == SIGTERM ? QStringLiteral("SIGTERM")
                                                                                            : QStringLiteral("signal %1").arg(nSignal);
    std::fprintf(stderr, "corvane-install: stopped by %s; the next run goes on from here\n", qPrintable(sName));
    if (m_pJson)
        m_pJson->outcome(QStringLiteral("interrupted"), sName);
    QCoreApplication::exit(128 + nSignal);
}

void TInstallDriver::progress(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal)
{
    if (m_pJson)
        m_pJson->update(sStep, nDone, nTotal);
    else
        m_oProgress.update(sStep, nDone, nTotal);
}

void TInstallDriver::fail(const QString& sMessage)
{
    if (m_bDone)
        return;
    m_bDone = true;
    m_oProgress.finish();
    std::fprintf(stderr, "corvane-install: %s\n", qPrintable(sMessage));
    if (m_pJson)
        m_pJson->outcome(QStringLiteral("failed"), sMessage);
    QCoreApplication::exit(1);
}
