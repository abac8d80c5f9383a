#include "metadatarefresh.h"

#include "configurationurl.h"
#include "launcherconfigurationexception.h"
#include "launcherconfigurationreader.h"
#include "launcherfilesystemhelper.h"
#include "package.h"
#include "packageconfigurationreader.h"

#include "shared/downloadhandle.h"
#include "shared/nocacheparameter.h"

#include <QDebug>

#include <algorithm>

namespace velmar::launcher {

bool TMetadataRefresh::TRequest::isComplete() const
{
    return !m_aPackageData.isEmpty() && (!m_oAssetUrl.isValid() || !m_aAssetData.isEmpty());
}

TMetadataRefresh::TMetadataRefresh(std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                                   std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                   const TMetadataTrust& oTrust, std::function<quint64()> fnSerialFloor, QObject* pParent)
    : QObject(pParent)
    , m_pDownloads(std::make_unique<shared::TDownloadHandle>(std::move(pDownloadPool)))
    , m_pFilesystemHelper(std::move(pFilesystemHelper))
    , m_oTrust(oTrust)
    , m_fnSerialFloor(std::move(fnSerialFloor))
    , m_oMetadataUrl(m_pFilesystemHelper->settings()->launcherConfiguration())
{
    qRegisterMetaType<std::vector<std::shared_ptr<TPackage>>>();
    connect(m_pDownloads.get(), &shared::TDownloadHandle::success, this, &TMetadataRefresh::onSuccess);
    connect(m_pDownloads.get(), &shared::TDownloadHandle::failed, this, &TMetadataRefresh::onFailed);
}

TMetadataRefresh::~TMetadataRefresh() = default;

const QUrl& TMetadataRefresh::fetchUrl() const
{
    return m_oTrust.isChecking() ? m_oTrust.envelopeUrl() : m_oMetadataUrl;
}

QUrl TMetadataRefresh::onlineUrl(const QUrl& oUrl) const
{
    return m_pFilesystemHelper->settings()->appendNocacheToPackageUrls() ? shared::appendNocacheParameter(oUrl) : oUrl;
}

void TMetadataRefresh::start(std::shared_ptr<TLauncherConfigurationReader> pRunning,
                             std::function<bool(const TPackage&)> fnLeaveAlone)
{
    if (m_bRunning || !pRunning)
        return;
    m_bRunning = true;
    m_bMetadataReceived = false;
    m_pRunning = std::move(pRunning);
    m_fnLeaveAlone = std::move(fnLeaveAlone);
    m_lRequests.clear();
    qInfo() << "metadata refresh started";
    m_pDownloads->download(fetchUrl());
}

void TMetadataRefresh::onSuccess(const QUrl& oUrl, const QByteArray& aData)
{
    if (!m_bRunning)
        return;
    if (aData.isEmpty()) {
        onFailed(oUrl, QNetworkReply::ContentNotFoundError, QStringLiteral("Data stream is empty"));
        return;
    }
    if (!m_bMetadataReceived && oUrl == fetchUrl()) {
        receiveMetadata(aData);
        return;
    }
    for (TRequest& oRequest : m_lRequests) {
        if (oRequest.m_oPackageUrl == oUrl)
            oRequest.m_aPackageData = aData;
        if (oRequest.m_oAssetUrl.isValid() && oRequest.m_oAssetUrl == oUrl)
            oRequest.m_aAssetData = aData;
    }
    finishIfComplete();
}

void TMetadataRefresh::onFailed(const QUrl& oUrl, QNetworkReply::NetworkError, const QString& sError)
{
    if (m_bRunning)
        fail(QStringLiteral("%1: %2").arg(oUrl.toString(), sError));
}

void TMetadataRefresh::receiveMetadata(const QByteArray& aData)
{
    m_bMetadataReceived = true;
    QByteArray aMetadata = aData;
    if (m_oTrust.isChecking()) {
        const TEnvelopeCheck oCheck = m_oTrust.judge(aData, m_fnSerialFloor ? m_fnSerialFloor() : 0);
        if (!oCheck.isCurrent()) {
            fail(QStringLiteral("the signed metadata was refused: ") + oCheck.reason());
            return;
        }
        aMetadata = oCheck.envelope()->payload();
    }
    try {
        m_pFetched = std::make_shared<TLauncherConfigurationReader>(aMetadata, urlWithoutFileName(m_oMetadataUrl));
    } catch (const TLauncherConfigurationException& oError) {
        fail(QString::fromUtf8(oError.what()));
        return;
    }
    if (!m_pFetched->listsPackages()) {
        fail(QStringLiteral("the metadata lists no packages"));
        return;
    }
    for (const std::shared_ptr<TPackage>& pPackage : m_pRunning->packages()) {
        // A package the start could not configure is not in the window: it waits for the next start too.
        if (!pPackage->platformConfiguration() || m_fnLeaveAlone(*pPackage))
            continue;
        const auto& lFetched = m_pFetched->packages();
        const auto itFetched = std::find_if(lFetched.begin(), lFetched.end(), [&](const std::shared_ptr<TPackage>& pFetched) {
            return pFetched->name() == pPackage->name();
        });
        // A package no longer published keeps what it has until the next start.
        if (itFetched == lFetched.end() || !(*itFetched)->platformBuild()
            || !(*itFetched)->platformBuild()->packageConfigurationUrl().isValid())
            continue;
        const TPackageBuild& oBuild = *(*itFetched)->platformBuild();
        TRequest oRequest;
        oRequest.m_pPackage = pPackage;
        oRequest.m_pFetched = *itFetched;
        oRequest.m_oPackageUrl = onlineUrl(oBuild.packageConfigurationUrl());
        if (oBuild.assetConfigurationUrl().isValid())
            oRequest.m_oAssetUrl = onlineUrl(oBuild.assetConfigurationUrl());
        m_lRequests.push_back(std::move(oRequest));
    }
    std::vector<QUrl> lUrls;
    for (const TRequest& oRequest : m_lRequests) {
        lUrls.push_back(oRequest.m_oPackageUrl);
        if (oRequest.m_oAssetUrl.isValid())
            lUrls.push_back(oRequest.m_oAssetUrl);
    }
    if (lUrls.empty()) {
        finishIfComplete();
        return;
    }
    // A download may fail before it returns and end the refresh.
    for (const QUrl& oUrl : lUrls) {
        if (!m_bRunning)
            return;
        m_pDownloads->download(oUrl);
    }
}

void TMetadataRefresh::finishIfComplete()
{
    if (!std::all_of(m_lRequests.begin(), m_lRequests.end(), [](const TRequest& oRequest) { return oRequest.isComplete(); }))
        return;
    std::vector<std::shared_ptr<const TPackageConfigurationReader>> lConfigurations;
    for (TRequest& oRequest : m_lRequests) {
        const TPackageBuild& oBuild = *oRequest.m_pFetched->platformBuild();
        QString sMismatch;
        if (m_oTrust.isChecking()) {
            sMismatch = oBuild.packagePin().mismatch(oRequest.m_aPackageData);
            if (sMismatch.isEmpty() && oRequest.m_oAssetUrl.isValid())
                sMismatch = oBuild.assetPin().mismatch(oRequest.m_aAssetData);
        }
        if (!sMismatch.isEmpty()) {
            fail(QStringLiteral("the documents of %1: %2").arg(oRequest.m_pPackage->name(), sMismatch));
            return;
        }
        auto pConfiguration = std::make_shared<const TPackageConfigurationReader>(
            std::move(oRequest.m_aPackageData), std::move(oRequest.m_aAssetData), urlWithoutFileName(oRequest.m_oPackageUrl),
            urlWithoutFileName(oRequest.m_oAssetUrl));
        // A document caught while it is being published, or a server's error page, describes no build.
        if (!pConfiguration->isValid() || !pConfiguration->packageListsFiles()
            || (oRequest.m_oAssetUrl.isValid() && !pConfiguration->assetsListFiles())) {
            fail(QStringLiteral("the documents of %1 describe no build").arg(oRequest.m_pPackage->name()));
            return;
        }
        lConfigurations.push_back(std::move(pConfiguration));
    }
    std::vector<std::shared_ptr<TPackage>> lRefreshed;
    for (size_t nRequest = 0; nRequest < m_lRequests.size(); ++nRequest) {
        const std::shared_ptr<TPackage>& pPackage = m_lRequests[nRequest].m_pPackage;
        // An installation started meanwhile keeps the documents it started with.
        if (m_fnLeaveAlone(*pPackage) || !pPackage->platformBuild())
            continue;
        pPackage->platformBuild()->setConfiguration(lConfigurations[nRequest]);
        lRefreshed.push_back(pPackage);
    }
    end(true, QString(), std::move(lRefreshed));
}

void TMetadataRefresh::fail(const QString& sProblem)
{
    end(false, sProblem, {});
}

void TMetadataRefresh::end(bool bSucceeded, const QString& sProblem, std::vector<std::shared_ptr<TPackage>> lRefreshed)
{
    for (const TRequest& oRequest : m_lRequests) {
        m_pDownloads->forget(oRequest.m_oPackageUrl);
        m_pDownloads->forget(oRequest.m_oAssetUrl);
    }
    m_pDownloads->forget(fetchUrl());
    m_lRequests.clear();
    m_pFetched.reset();
    m_pRunning.reset();
    m_bRunning = false;
    emit finished(bSucceeded, sProblem, std::move(lRefreshed));
}

} // namespace velmar::launcher
