#include "installdriver.h"

#include "launcher/configurationurl.h"
#include "launcher/installationmanager.h"
#include "launcher/launcherconfigurationreader.h"
#include "launcher/launcherfilesystemhelper.h"
#include "launcher/package.h"
#include "launcher/packageconfigurationreader.h"
#include "launcher/packagefiledownloader.h"
#include "launcher/packageinstallation.h"

#include "shared/downloadpool.h"
#include "shared/downloadretries.h"
#include "shared/qnetworkaccessmanagerwrapper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

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

void TInstallDriver::start()
{
    // One package, described the way the launcher metadata describes it, so that
    // the manager finds its folder and its build exactly as in the launcher.
    const QJsonObject oBuild{{QStringLiteral("os"), QStringLiteral("linux")},
                             {QStringLiteral("architecture"), QStringLiteral("x86_64")},
                             {QStringLiteral("url"), m_oPackageUrl.toString()},
                             {QStringLiteral("assetsurl"), m_oAssetUrl.toString()}};
    const QJsonObject oPackage{{QStringLiteral("name"), QFileInfo(m_sFolder).fileName()},
                               {QStringLiteral("directoryname"), QFileInfo(m_sFolder).fileName()},
                               {QStringLiteral("builds"), QJsonArray{oBuild}}};
    const QJsonObject oMetadata{{QStringLiteral("packages"), QJsonArray{oPackage}}};
    m_pMetadata = std::make_shared<TLauncherConfigurationReader>(QJsonDocument(oMetadata).toJson(), QUrl());

    auto pManager = std::make_shared<QNetworkAccessManager>();
    m_pDocumentPool = std::make_shared<shared::TDownloadPool>(2, std::make_shared<shared::QNetworkAccessManagerWrapper>(pManager));
    const std::shared_ptr<const TLauncherSettings>& pSettings = m_pFilesystemHelper->settings();
    m_pDocumentPool->setStallLimits(pSettings->stallTimeout(), pSettings->minimumTransferRate());
    m_pDocumentPool->setBandwidthLimiter(m_pFilesystemHelper->bandwidthLimiter());
    m_pDocumentRetries = std::make_unique<shared::TDownloadRetries>(m_pDocumentPool);
    connect(m_pDocumentPool.get(), &shared::TDownloadPool::success, this, [this](const QUrl& oUrl, const QByteArray& aData) {
        m_pDocumentRetries->forget(oUrl);
        (oUrl == m_oPackageUrl ? m_aPackageDocument : m_aAssetDocument) = aData;
        if (--m_nDocumentsMissing == 0)
            onDocumentsReceived();
    });
    connect(m_pDocumentPool.get(), &shared::TDownloadPool::failed, this,
            [this](const QUrl& oUrl, QNetworkReply::NetworkError eCode, const QString& sError) {
                if (!m_pDocumentRetries->retryLater(oUrl, eCode))
                    fail(QStringLiteral("Fetching %1 failed: %2").arg(oUrl.toString(), sError));
            });
    m_nDocumentsMissing = m_oAssetUrl.isEmpty() ? 1 : 2;
    m_pDocumentPool->download(m_oPackageUrl);
    if (!m_oAssetUrl.isEmpty())
        m_pDocumentPool->download(m_oAssetUrl);
}

void TInstallDriver::onDocumentsReceived()
{
    const std::shared_ptr<TPackage>& pPackage = m_pMetadata->packages().front();
    auto pConfiguration = std::make_shared<const TPackageConfigurationReader>(
        m_aPackageDocument, m_aAssetDocument, urlWithoutFileName(m_oPackageUrl), urlWithoutFileName(m_oAssetUrl));
    if (!pConfiguration->isValid()) {
        fail(QStringLiteral("The package documents are not valid JSON."));
        return;
    }
    pPackage->platformBuild()->setConfiguration(pConfiguration);
    m_pManager = std::make_unique<TInstallationManager>(m_pMetadata, m_pFilesystemHelper);
    // An install from local media: documents read from a folder name its files.
    m_pManager->setLocalMediaAllowed(true);
    connect(m_pManager.get(), &TInstallationManager::installationOrUpdateStarted, this, &TInstallDriver::onStarted);
    connect(m_pManager.get(), &TInstallationManager::installationOrUpdateFinished, this, &TInstallDriver::onFinished);
    connect(m_pManager.get(), &TInstallationManager::diskAccessFailed, this, &TInstallDriver::fail);
    if (m_eCommand == Verify) {
        if (m_pManager->localPackageStatus(*pPackage) == NotInstalled) {
            fail(QStringLiteral("Nothing is installed in %1.").arg(m_sFolder));
            return;
        }
        m_pManager->verifyPackage(pPackage);
    } else {
        m_pManager->installOrUpdatePackage(pPackage);
    }
}

void TInstallDriver::onStarted(const std::shared_ptr<TPackageInstallation>& pInstallation)
{
    std::fprintf(stderr, "%s: %s -> %s\n", qPrintable(QDir::toNativeSeparators(m_sFolder)),
                 qPrintable(pInstallation->installedVersionLabel()), qPrintable(pInstallation->targetVersionLabel()));
    connect(pInstallation.get(), &TPackageInstallation::scanProgress, this,
            [this](shared::TFileSize nDone, shared::TFileSize nTotal) { progress(QStringLiteral("scan"), nDone, nTotal); });
    connect(pInstallation->downloader(), &TPackageFileDownloader::progress, this,
            [this](shared::TFileSize nDownloaded, shared::TFileSize nToDownload, shared::TFileSize, shared::TFileSize) {
                progress(QStringLiteral("download"), nDownloaded, nToDownload);
            });
    connect(pInstallation.get(), &TPackageInstallation::verificationProgress, this,
            [this](shared::TFileSize nDone, shared::TFileSize nTotal) { progress(QStringLiteral("verify"), nDone, nTotal); });
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
