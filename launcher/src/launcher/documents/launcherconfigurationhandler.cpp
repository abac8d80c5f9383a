#include "launcherconfigurationhandler.h"

#include "configurationurl.h"
#include "launcherconfigurationexception.h"
#include "packageconfigurationreader.h"

#include "shared/downloadhandle.h"
#include "shared/downloadretries.h"
#include "shared/nocacheparameter.h"
#include "shared/randomhints.h"

#include <QDebug>
#include <QDir>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace velmar::launcher {

namespace {

const QString kLocalCopyName = QStringLiteral("launchermetadata.json");

int timerInterval(qint64 nMilliseconds)
{
    return static_cast<int>(std::clamp<qint64>(nMilliseconds, 0, std::numeric_limits<int>::max()));
}

} // namespace

bool TLauncherConfigurationHandler::TConfigurationRequest::isComplete() const
{
    return (!m_oPackageUrl.isValid() || !m_aPackageData.isEmpty()) && (!m_oAssetUrl.isValid() || !m_aAssetData.isEmpty());
}

bool TLauncherConfigurationHandler::TConfigurationRequest::uses(const QUrl& oUrl) const
{
    // An empty address (a build without assets) must not match the empty URL
    // of some other client's rejected download.
    return oUrl.isValid() && (m_oPackageUrl == oUrl || m_oAssetUrl == oUrl);
}

TLauncherConfigurationHandler::TLauncherConfigurationHandler(std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                                                             std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                                             QObject* pParent)
    : QObject(pParent)
    , m_pDownloads(std::make_unique<shared::TDownloadHandle>(std::move(pDownloadPool)))
    , m_pRetries(std::make_unique<shared::TDownloadRetries>(*m_pDownloads))
    , m_pFilesystemHelper(std::move(pFilesystemHelper))
    , m_oMainConfigurationUrl(m_pFilesystemHelper->settings()->launcherConfiguration())
{
    qRegisterMetaType<shared::THint>();
    qRegisterMetaType<std::vector<shared::THint>>();
    m_oErrorTimer.setSingleShot(true);
    m_oErrorTimer.setInterval(timerInterval(m_pFilesystemHelper->settings()->downloadErrorTimeout()));
    connect(&m_oErrorTimer, &QTimer::timeout, this, &TLauncherConfigurationHandler::onErrorTimerExpired);
    connect(m_pDownloads.get(), &shared::TDownloadHandle::success, this,
            &TLauncherConfigurationHandler::onConfigurationDownloadFinished);
    connect(m_pDownloads.get(), &shared::TDownloadHandle::failed, this,
            &TLauncherConfigurationHandler::onConfigurationDownloadFailed);
}

TLauncherConfigurationHandler::~TLauncherConfigurationHandler() = default;

QString TLauncherConfigurationHandler::localCopyPath() const
{
    return m_pFilesystemHelper->pathInsideFolder(QDir(m_pFilesystemHelper->launcherFolder()), kLocalCopyName);
}

void TLauncherConfigurationHandler::startLoadingMainConfiguration()
{
    m_bOffline = false;
    // Started first: a URL the pool rejects fails before download() returns,
    // and that failure must find the load still waiting.
    m_oErrorTimer.start();
    m_pDownloads->download(m_oMainConfigurationUrl);
}

void TLauncherConfigurationHandler::downloadHints()
{
    if (m_pReader && m_pReader->hintsUrl().isValid())
        m_pDownloads->download(m_pReader->hintsUrl());
}

bool TLauncherConfigurationHandler::isWaitingForMainConfiguration() const
{
    return m_oErrorTimer.isActive();
}

void TLauncherConfigurationHandler::onConfigurationDownloadFinished(const QUrl& url, const QByteArray& Data)
{
    if (Data.isEmpty()) {
        onConfigurationDownloadFailed(url, QNetworkReply::ContentNotFoundError, QStringLiteral("Data stream is empty"));
        return;
    }
    m_pRetries->forget(url);
    if (url == m_oMainConfigurationUrl && isWaitingForMainConfiguration()) {
        m_oErrorTimer.stop();
        loadMainConfiguration(Data);
        return;
    }
    if (m_pReader && url == m_pReader->hintsUrl()) {
        receiveHints(Data);
        return;
    }
    receivePackageDocument(url, Data);
}

void TLauncherConfigurationHandler::onConfigurationDownloadFailed(const QUrl& url, QNetworkReply::NetworkError Code,
                                                                  const QString& ErrorString)
{
    if (url == m_oMainConfigurationUrl) {
        // Once the load has an outcome (loaded, fallen back or failed), a late
        // answer must not undo it.
        if (!isWaitingForMainConfiguration())
            return;
        if (m_pRetries->retryLater(url, Code)) {
            qWarning() << "Download of configuration failed, trying again:" << ErrorString;
            return;
        }
        qCritical() << "Download of configuration failed:" << ErrorString;
        m_oErrorTimer.stop();
        if (Code == QNetworkReply::ContentAccessDenied || Code == QNetworkReply::ContentNotFoundError)
            emit mainConfigurationDownloadFailed();
        else
            fallBackToLocalCopy();
        return;
    }
    const auto itUsing = std::find_if(m_lRequests.begin(), m_lRequests.end(),
                                      [&url](const TConfigurationRequest& oRequest) { return oRequest.uses(url); });
    if (itUsing == m_lRequests.end())
        return;
    if (m_pRetries->retryLater(url, Code)) {
        qWarning() << "Download of package configuration/asset from configuration" << url
                   << "failed, trying again:" << ErrorString;
        return;
    }
    qCritical() << "Download of package configuration/asset from configuration" << url << "failed:" << ErrorString;
    m_lRequests.erase(std::remove_if(m_lRequests.begin(), m_lRequests.end(),
                                     [&url](const TConfigurationRequest& oRequest) { return oRequest.uses(url); }),
                      m_lRequests.end());
    if (m_lRequests.empty())
        emit packageConfigurationDownloadsFinished();
}

void TLauncherConfigurationHandler::onErrorTimerExpired()
{
    m_oErrorTimer.stop();
    m_pRetries->forget(m_oMainConfigurationUrl);
    fallBackToLocalCopy();
}

void TLauncherConfigurationHandler::loadMainConfiguration(const QByteArray& aData)
{
    std::shared_ptr<TLauncherConfigurationReader> pReader;
    try {
        pReader = std::make_shared<TLauncherConfigurationReader>(aData, urlWithoutFileName(m_oMainConfigurationUrl));
    } catch (const TLauncherConfigurationException& oError) {
        qCritical() << "Download of configuration failed:" << oError.what();
        emit mainConfigurationDownloadFailed();
        return;
    }
    if (!pReader->listsPackages()) {
        // An error object that a server or proxy sent with success is no
        // metadata: it must not replace the local copy, which serves instead.
        qCritical() << "Download of configuration failed: the document lists no packages";
        fallBackToLocalCopy();
        return;
    }
    m_pReader = std::move(pReader);
    writeLocalCopy(aData);
    emit mainConfigurationLoaded();
}

void TLauncherConfigurationHandler::writeLocalCopy(const QByteArray& aData)
{
    try {
        m_pFilesystemHelper->writeFileCreatingFolder(localCopyPath(), aData);
    } catch (const std::runtime_error& oError) {
        emit diskAccessFailed(QString::fromStdString(oError.what()));
    }
}

void TLauncherConfigurationHandler::fallBackToLocalCopy()
{
    try {
        const QString sPath = localCopyPath();
        const QByteArray aData = m_pFilesystemHelper->readFileIfExists(sPath);
        if (aData.isEmpty()) {
            emit mainConfigurationDownloadFailed();
            return;
        }
        m_pReader = std::make_shared<TLauncherConfigurationReader>(aData, urlWithoutFileName(QUrl::fromLocalFile(sPath)));
        m_bOffline = true;
    } catch (const std::runtime_error& oError) {
        emit diskAccessFailed(QString::fromStdString(oError.what()));
        return;
    }
    emit mainConfigurationLoaded();
}

void TLauncherConfigurationHandler::receiveHints(const QByteArray& aData)
{
    std::vector<shared::THint> lHints = shared::parseHints(aData);
    const std::optional<shared::THint> oHint = shared::selectHint(lHints, QDateTime::currentDateTimeUtc());
    if (!oHint)
        return;
    m_oCurrentHint = oHint;
    m_lHints = std::move(lHints);
    emit hintAreaDataReceived(*m_oCurrentHint);
    emit hintsAreaDataReceived(m_lHints);
}

void TLauncherConfigurationHandler::receivePackageDocument(const QUrl& oUrl, const QByteArray& aData)
{
    if (!oUrl.isValid())
        return;
    bool bUsed = false;
    for (TConfigurationRequest& oRequest : m_lRequests) {
        // A build whose two addresses are the same gets the document as both.
        if (oRequest.m_oPackageUrl == oUrl) {
            oRequest.m_aPackageData = aData;
            bUsed = true;
        }
        if (oRequest.m_oAssetUrl == oUrl) {
            oRequest.m_aAssetData = aData;
            bUsed = true;
        }
    }
    if (!bUsed)
        return;
    for (auto itRequest = m_lRequests.begin(); itRequest != m_lRequests.end();) {
        if (!itRequest->isComplete()) {
            ++itRequest;
            continue;
        }
        // Moved, so that a reader holding the only copy can parse it in place.
        itRequest->m_pBuild->setConfiguration(std::make_shared<const TPackageConfigurationReader>(
            std::move(itRequest->m_aPackageData), std::move(itRequest->m_aAssetData),
            urlWithoutFileName(itRequest->m_oPackageUrl),
            urlWithoutFileName(itRequest->m_oAssetUrl)));
        itRequest = m_lRequests.erase(itRequest);
    }
    if (m_lRequests.empty())
        emit packageConfigurationDownloadsFinished();
}

QUrl TLauncherConfigurationHandler::onlineUrl(const QUrl& oUrl) const
{
    if (!m_pFilesystemHelper->settings()->appendNocacheToPackageUrls())
        return oUrl;
    return shared::appendNocacheParameter(oUrl);
}

void TLauncherConfigurationHandler::addRequest(const std::shared_ptr<TPackage>& pPackage, TPackageBuild* pBuild,
                                               QUrl oPackageUrl, QUrl oAssetUrl)
{
    // Without a package document there is nothing to read, and a request
    // waiting for no download would never end.
    if (!oPackageUrl.isValid()) {
        qWarning() << "No package configuration address for" << pPackage->name();
        return;
    }
    TConfigurationRequest oRequest;
    oRequest.m_pPackage = pPackage;
    oRequest.m_pBuild = pBuild;
    oRequest.m_oPackageUrl = std::move(oPackageUrl);
    oRequest.m_oAssetUrl = std::move(oAssetUrl);
    m_lRequests.push_back(std::move(oRequest));
}

void TLauncherConfigurationHandler::downloadPackageConfigurations()
{
    if (!m_pReader)
        return;
    try {
        const std::shared_ptr<TPackage>& pLauncher = m_pReader->launcherPackage();
        if (!m_bOffline && pLauncher) {
            if (TPackageBuild* pBuild = pLauncher->platformBuild())
                addRequest(pLauncher, pBuild, onlineUrl(pBuild->packageConfigurationUrl()),
                           onlineUrl(pBuild->assetConfigurationUrl()));
        }
        const TLauncherSettings& oSettings = *m_pFilesystemHelper->settings();
        for (const std::shared_ptr<TPackage>& pPackage : m_pReader->packages()) {
            TPackageBuild* pBuild = pPackage->platformBuild();
            if (!pBuild)
                continue;
            if (!m_bOffline) {
                addRequest(pPackage, pBuild, onlineUrl(pBuild->packageConfigurationUrl()),
                           onlineUrl(pBuild->assetConfigurationUrl()));
                continue;
            }
            // The directory name comes from the network: it stays inside the packages folder.
            const QDir oFolder(m_pFilesystemHelper->pathInsideFolder(m_pFilesystemHelper->packagesFolder(),
                                                                     pPackage->directoryName()));
            // An installed build without assets keeps no asset copy: ask for one
            // only where the build has assets, or it would never be configured.
            addRequest(pPackage, pBuild,
                       QUrl::fromLocalFile(m_pFilesystemHelper->pathInsideFolder(oFolder, oSettings.packageFile())),
                       pBuild->assetConfigurationUrl().isEmpty()
                           ? QUrl()
                           : QUrl::fromLocalFile(m_pFilesystemHelper->pathInsideFolder(oFolder, oSettings.assetFile())));
        }
    } catch (const std::runtime_error& oError) {
        emit diskAccessFailed(QString::fromStdString(oError.what()));
        return;
    }

    if (m_lRequests.empty()) {
        emit packageConfigurationDownloadsFinished();
        return;
    }
    std::vector<QUrl> lUrls;
    for (const TConfigurationRequest& oRequest : m_lRequests) {
        for (const QUrl& oUrl : {oRequest.m_oPackageUrl, oRequest.m_oAssetUrl}) {
            if (oUrl.isValid())
                lUrls.push_back(oUrl);
        }
    }
    // A download may fail before it returns and take requests with it.
    for (const QUrl& oUrl : lUrls) {
        const bool bStillWanted = std::any_of(m_lRequests.begin(), m_lRequests.end(),
                                              [&oUrl](const TConfigurationRequest& oRequest) { return oRequest.uses(oUrl); });
        if (bStillWanted)
            m_pDownloads->download(oUrl);
    }
}

} // namespace velmar::launcher
