#include "launcherconfigurationhandler.h"

#include "configurationurl.h"
#include "launcherconfigurationexception.h"
#include "metadatarefresh.h"
#include "packageconfigurationreader.h"

#include "shared/downloadhandle.h"
#include "shared/downloadpool.h"
#include "shared/downloadretries.h"
#include "shared/nocacheparameter.h"
#include "shared/randomhints.h"

#include <QDebug>
#include <QDir>
#include <QMetaObject>

#include <algorithm>
#include <climits>
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

namespace {

// The built-in keys always count; the settings can only add to them.
TTrustedKeys trustedKeys(const TLauncherSettings& oSettings, const TTrustedKeys& oExtraKeys)
{
    TTrustedKeys oKeys = TTrustedKeys::builtIn();
    for (const shared::TEd25519PublicKey& oKey : oExtraKeys.keys())
        oKeys.add(oKey);
    for (const QString& sRejected : oKeys.add(oSettings.trustedKeys()))
        qCritical() << "SIGNING/trustedKeys holds something that is no public key:" << sRejected;
    return oKeys;
}

} // namespace

TLauncherConfigurationHandler::TLauncherConfigurationHandler(std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                                                             std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                                             QObject* pParent)
    : TLauncherConfigurationHandler(std::move(pDownloadPool), std::move(pFilesystemHelper), TTrustedKeys(), QString(),
                                    pParent)
{
}

TLauncherConfigurationHandler::TLauncherConfigurationHandler(std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                                                             std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                                             const TTrustedKeys& oExtraKeys, const QString& sStateFile,
                                                             QObject* pParent)
    : QObject(pParent)
    , m_pDownloads(std::make_unique<shared::TDownloadHandle>(std::move(pDownloadPool)))
    , m_pRetries(std::make_unique<shared::TDownloadRetries>(*m_pDownloads))
    , m_pFilesystemHelper(std::move(pFilesystemHelper))
    , m_oMainConfigurationUrl(m_pFilesystemHelper->settings()->launcherConfiguration())
    , m_oTrust(trustedKeys(*m_pFilesystemHelper->settings(), oExtraKeys), m_oMainConfigurationUrl,
               m_pFilesystemHelper->settings()->signedLauncherConfiguration(), sStateFile)
    , m_pRefresh(std::make_unique<TMetadataRefresh>(m_pDownloads->pool(), m_pFilesystemHelper, m_oTrust,
                                                    [this] { return localCopySerial(); }))
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
    if (m_oTrust.isChecking())
        connect(m_pDownloads.get(), &shared::TDownloadHandle::progress, this,
                &TLauncherConfigurationHandler::onDownloadProgress);
}

TLauncherConfigurationHandler::~TLauncherConfigurationHandler() = default;

QString TLauncherConfigurationHandler::localCopyPath() const
{
    return m_pFilesystemHelper->pathInsideFolder(QDir(m_pFilesystemHelper->launcherFolder()), kLocalCopyName);
}

QString TLauncherConfigurationHandler::localEnvelopePath() const
{
    return localCopyPath() + QLatin1String(TSignedEnvelope::kFileSuffix);
}

const QUrl& TLauncherConfigurationHandler::mainFetchUrl() const
{
    // With trusted keys the plain metadata is never read from the network: the envelope holds its bytes.
    return m_oTrust.isChecking() ? m_oTrust.envelopeUrl() : m_oMainConfigurationUrl;
}

void TLauncherConfigurationHandler::startLoadingMainConfiguration()
{
    m_bOffline = false;
    m_sRefusal.clear();
    m_sFailureReason.clear();
    m_eRefetch = EEnvelopeRefetch::NotYet;
    // Started first: a URL the pool rejects fails before download() returns,
    // and that failure must find the load still waiting.
    m_oErrorTimer.start();
    m_pDownloads->download(mainFetchUrl());
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
    if (url == mainFetchUrl() && isWaitingForMainConfiguration()) {
        m_oErrorTimer.stop();
        if (m_oTrust.isChecking())
            loadSignedConfiguration(Data);
        else
            loadMainConfiguration(Data);
        return;
    }
    if (url == mainFetchUrl() && m_eRefetch == EEnvelopeRefetch::Running) {
        receiveRefetchedEnvelope(Data);
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
    if (url == mainFetchUrl()) {
        if (m_eRefetch == EEnvelopeRefetch::Running) {
            qCritical() << "Download of the signed configuration failed again:" << ErrorString;
            receiveRefetchedEnvelope(QByteArray());
            return;
        }
        // Once the load has an outcome (loaded, fallen back or failed), a late
        // answer must not undo it.
        if (!isWaitingForMainConfiguration())
            return;
        // Kept from a failure that is tried again too: the error timer may end the attempts.
        m_sFailureReason = downloadFailureText(Code, ErrorString);
        if (m_pRetries->retryLater(url, Code)) {
            qWarning() << "Download of configuration failed, trying again:" << ErrorString;
            return;
        }
        qCritical() << "Download of configuration failed:" << ErrorString;
        m_oErrorTimer.stop();
        if ((Code == QNetworkReply::ContentAccessDenied || Code == QNetworkReply::ContentNotFoundError)
            && m_oTrust.isChecking())
            refuse(QStringLiteral("the signed metadata is missing"));
        else if (Code == QNetworkReply::ContentAccessDenied || Code == QNetworkReply::ContentNotFoundError)
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
    m_pRetries->forget(mainFetchUrl());
    if (m_sFailureReason.isEmpty())
        m_sFailureReason = QStringLiteral("Could not connect to %1: no answer within %2 seconds")
                               .arg(serverName())
                               .arg(double(m_oErrorTimer.interval()) / 1000.0);
    qCritical().noquote() << "Download of configuration failed:" << m_sFailureReason;
    fallBackToLocalCopy();
}

QString TLauncherConfigurationHandler::serverName() const
{
    const QUrl& oUrl = mainFetchUrl();
    return oUrl.port() < 0 ? oUrl.host() : QStringLiteral("%1:%2").arg(oUrl.host()).arg(oUrl.port());
}

QString TLauncherConfigurationHandler::downloadFailureText(QNetworkReply::NetworkError eCode,
                                                           const QString& sErrorString) const
{
    switch (eCode) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("Could not connect to %1: connection refused").arg(serverName());
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("Could not connect to %1: name not found").arg(serverName());
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("Could not connect to %1: no answer within the time-out").arg(serverName());
    case QNetworkReply::ContentNotFoundError:
        return QStringLiteral("The metadata was not found on %1 (404)").arg(serverName());
    case QNetworkReply::ContentAccessDenied:
        return QStringLiteral("The metadata was not found on %1 (403)").arg(serverName());
    default:
        return QStringLiteral("Could not download the metadata from %1: %2").arg(serverName(), sErrorString);
    }
}

void TLauncherConfigurationHandler::abortDownload(const QUrl& oUrl)
{
    m_pDownloads->forget(oUrl);
    if (m_pDownloads->pool())
        m_pDownloads->pool()->abort(oUrl);
}

qint64 TLauncherConfigurationHandler::pinnedSizeLimit(const QUrl& oUrl) const
{
    qint64 nLimit = -1;
    for (const TConfigurationRequest& oRequest : m_lRequests) {
        const TDocumentPin* pPin = oRequest.m_oPackageUrl == oUrl ? &oRequest.m_pBuild->packagePin()
                                   : oRequest.m_oAssetUrl == oUrl ? &oRequest.m_pBuild->assetPin()
                                                                  : nullptr;
        if (pPin)
            nLimit = std::max<qint64>(nLimit, pPin->isPresent() ? qint64(std::min<quint64>(pPin->size(), INT_MAX)) : 0);
    }
    return nLimit;
}

// Endless data is never read to its end: a transfer stops as soon as it passes
// what the signed metadata allows it.
void TLauncherConfigurationHandler::onDownloadProgress(const QUrl& url, qint64 BytesReceived)
{
    if (url == mainFetchUrl()) {
        if (BytesReceived <= TSignedEnvelope::kMaximumSize)
            return;
        abortDownload(url);
        const QString sReason = QStringLiteral("bad signature: the signed metadata is larger than %1 bytes")
                                    .arg(TSignedEnvelope::kMaximumSize);
        if (m_eRefetch == EEnvelopeRefetch::Running) {
            receiveRefetchedEnvelope(QByteArray());
        } else if (isWaitingForMainConfiguration()) {
            m_oErrorTimer.stop();
            m_sRefusal = sReason;
            qCritical() << "Download of configuration refused:" << sReason;
            fallBackToLocalCopy();
        }
        return;
    }
    if (m_bOffline)
        return;
    const qint64 nLimit = pinnedSizeLimit(url);
    if (nLimit < 0 || BytesReceived <= nLimit)
        return;
    abortDownload(url);
    for (auto itRequest = m_lRequests.begin(); itRequest != m_lRequests.end();) {
        if (!itRequest->uses(url)) {
            ++itRequest;
            continue;
        }
        qCritical() << "Package configuration of" << itRequest->m_pPackage->name()
                    << "refused: document does not match its pin: more than the" << nLimit << "bytes signed";
        itRequest = m_lRequests.erase(itRequest);
    }
    if (m_lRequests.empty())
        emit packageConfigurationDownloadsFinished();
}

void TLauncherConfigurationHandler::refuse(const QString& sReason)
{
    qCritical() << "Signed configuration refused:" << sReason;
    emit mainConfigurationRefused(sReason);
}

quint64 TLauncherConfigurationHandler::localCopySerial() const
{
    // A local copy whose envelope no trusted key signed sets no floor.
    try {
        const TEnvelopeCheck oCheck = m_oTrust.judge(m_pFilesystemHelper->readFileIfExists(localEnvelopePath()));
        return oCheck.envelope() ? oCheck.envelope()->serial() : 0;
    } catch (const std::runtime_error&) {
        return 0;
    }
}

void TLauncherConfigurationHandler::loadSignedConfiguration(const QByteArray& aEnvelope)
{
    const TEnvelopeCheck oCheck = m_oTrust.judge(aEnvelope, localCopySerial());
    if (!oCheck.isCurrent()) {
        m_sRefusal = oCheck.reason();
        qCritical() << "Download of configuration refused:" << m_sRefusal;
        fallBackToLocalCopy();
        return;
    }
    const TSignedEnvelope& oEnvelope = *oCheck.envelope();
    std::shared_ptr<TLauncherConfigurationReader> pReader = readDownloaded(oEnvelope.payload());
    if (!pReader)
        return;
    try {
        m_oTrust.accept(oEnvelope);
    } catch (const std::runtime_error& oError) {
        emit diskAccessFailed(QString::fromStdString(oError.what()));
        return;
    }
    qInfo() << "Signed configuration accepted: serial" << oEnvelope.serial() << "key"
            << QString::fromLatin1(oEnvelope.keyId().toHex()) << "expires on" << TEnvelopeCheck::timeText(oEnvelope.expiresAt());
    m_pReader = std::move(pReader);
    writeLocalCopy(oEnvelope.payload(), aEnvelope);
    emit mainConfigurationLoaded();
}

std::shared_ptr<TLauncherConfigurationReader> TLauncherConfigurationHandler::readDownloaded(const QByteArray& aData)
{
    std::shared_ptr<TLauncherConfigurationReader> pReader;
    try {
        pReader = std::make_shared<TLauncherConfigurationReader>(aData, urlWithoutFileName(m_oMainConfigurationUrl));
    } catch (const TLauncherConfigurationException& oError) {
        qCritical() << "Download of configuration failed:" << oError.what();
        m_sFailureReason = QStringLiteral("The metadata from %1 did not parse: %2").arg(serverName(), QString::fromUtf8(oError.what()));
        emit mainConfigurationDownloadFailed();
        return nullptr;
    }
    if (!pReader->listsPackages()) {
        // An error object that a server or proxy sent with success is no
        // metadata: it must not replace the local copy, which serves instead.
        qCritical() << "Download of configuration failed: the document lists no packages";
        m_sFailureReason = QStringLiteral("The metadata from %1 lists no packages").arg(serverName());
        fallBackToLocalCopy();
        return nullptr;
    }
    return pReader;
}

void TLauncherConfigurationHandler::loadMainConfiguration(const QByteArray& aData)
{
    std::shared_ptr<TLauncherConfigurationReader> pReader = readDownloaded(aData);
    if (!pReader)
        return;
    m_pReader = std::move(pReader);
    writeLocalCopy(aData);
    emit mainConfigurationLoaded();
}

void TLauncherConfigurationHandler::writeLocalCopy(const QByteArray& aData, const QByteArray& aEnvelope)
{
    try {
        m_pFilesystemHelper->writeFileCreatingFolder(localCopyPath(), aData);
        // The plain copy is what it always was; the envelope beside it is what offline runs believe.
        if (!aEnvelope.isEmpty())
            m_pFilesystemHelper->writeFileCreatingFolder(localEnvelopePath(), aEnvelope);
    } catch (const std::runtime_error& oError) {
        emit diskAccessFailed(QString::fromStdString(oError.what()));
    }
}

void TLauncherConfigurationHandler::fallBackToLocalCopy()
{
    if (m_oTrust.isChecking()) {
        fallBackToSignedLocalCopy();
        return;
    }
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

void TLauncherConfigurationHandler::fallBackToSignedLocalCopy()
{
    QByteArray aEnvelope;
    try {
        aEnvelope = m_pFilesystemHelper->readFileIfExists(localEnvelopePath());
    } catch (const std::runtime_error& oError) {
        emit diskAccessFailed(QString::fromStdString(oError.what()));
        return;
    }
    if (aEnvelope.isEmpty()) {
        if (m_sRefusal.isEmpty())
            emit mainConfigurationDownloadFailed();
        else
            refuse(m_sRefusal);
        return;
    }
    const TEnvelopeCheck oCheck = m_oTrust.judge(aEnvelope);
    if (!oCheck.isAuthentic()) {
        refuse(m_sRefusal.isEmpty() ? QStringLiteral("the local copy: ") + oCheck.reason()
                                    : m_sRefusal + QStringLiteral("; the local copy: ") + oCheck.reason());
        return;
    }
    // Offline nothing is installed or updated: installed clients may start on a copy past its time.
    if (!oCheck.isCurrent())
        qWarning() << "Starting offline on a signed local copy that has" << oCheck.reason();
    try {
        m_pReader = std::make_shared<TLauncherConfigurationReader>(oCheck.envelope()->payload(),
                                                                   urlWithoutFileName(QUrl::fromLocalFile(localCopyPath())));
    } catch (const TLauncherConfigurationException& oError) {
        refuse(QStringLiteral("the local copy cannot be read: ") + QString::fromUtf8(oError.what()));
        return;
    }
    m_bOffline = true;
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
    configureCompleteRequests();
}

QString TLauncherConfigurationHandler::pinMismatch(const TConfigurationRequest& oRequest, const TPackageBuild& oBuild) const
{
    QString sMismatch = oBuild.packagePin().mismatch(oRequest.m_aPackageData);
    if (sMismatch.isEmpty() && oRequest.m_oAssetUrl.isValid())
        sMismatch = oBuild.assetPin().mismatch(oRequest.m_aAssetData);
    return sMismatch;
}

void TLauncherConfigurationHandler::configureCompleteRequests()
{
    // Offline, the documents are the installed clients' own copies, checked when they were installed.
    const bool bPinned = m_oTrust.isChecking() && !m_bOffline;
    for (auto itRequest = m_lRequests.begin(); itRequest != m_lRequests.end();) {
        if (!itRequest->isComplete() || itRequest->m_bAwaitingEnvelope) {
            ++itRequest;
            continue;
        }
        const QString sMismatch =
            bPinned && !itRequest->m_bPinsMatched ? pinMismatch(*itRequest, *itRequest->m_pBuild) : QString();
        if (!sMismatch.isEmpty() && m_eRefetch != EEnvelopeRefetch::Done) {
            // A publication may be under way: newer documents than the signed metadata read.
            qWarning() << "Package configuration of" << itRequest->m_pPackage->name() << "refused:" << sMismatch
                       << "- fetching the signed configuration again";
            itRequest->m_bAwaitingEnvelope = true;
            if (m_eRefetch == EEnvelopeRefetch::NotYet) {
                m_eRefetch = EEnvelopeRefetch::Running;
                // Later: a download that fails at once would change the requests under this loop.
                QMetaObject::invokeMethod(
                    this, [this] { m_pDownloads->download(mainFetchUrl()); }, Qt::QueuedConnection);
            }
            ++itRequest;
            continue;
        }
        if (!sMismatch.isEmpty()) {
            qCritical() << "Package configuration of" << itRequest->m_pPackage->name() << "refused:" << sMismatch;
            itRequest = m_lRequests.erase(itRequest);
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

void TLauncherConfigurationHandler::receiveRefetchedEnvelope(const QByteArray& aEnvelope)
{
    m_eRefetch = EEnvelopeRefetch::Done;
    std::shared_ptr<TLauncherConfigurationReader> pNewer;
    QString sProblem;
    const TEnvelopeCheck oCheck = m_oTrust.judge(aEnvelope, localCopySerial());
    if (aEnvelope.isEmpty())
        sProblem = QStringLiteral("the signed metadata could not be fetched again");
    else if (!oCheck.isCurrent())
        sProblem = oCheck.reason();
    else {
        try {
            pNewer = std::make_shared<TLauncherConfigurationReader>(oCheck.envelope()->payload(),
                                                                    urlWithoutFileName(m_oMainConfigurationUrl));
        } catch (const TLauncherConfigurationException& oError) {
            sProblem = QString::fromUtf8(oError.what());
        }
    }
    // The newer signed metadata vouches for a document only through the same package's build.
    const auto newerBuild = [&](const TConfigurationRequest& oRequest) -> const TPackageBuild* {
        if (!pNewer)
            return nullptr;
        if (oRequest.m_pPackage == m_pReader->launcherPackage())
            return pNewer->launcherPackage() ? pNewer->launcherPackage()->platformBuild() : nullptr;
        for (const std::shared_ptr<TPackage>& pPackage : pNewer->packages()) {
            if (pPackage->name() == oRequest.m_pPackage->name())
                return pPackage->platformBuild();
        }
        return nullptr;
    };
    for (auto itRequest = m_lRequests.begin(); itRequest != m_lRequests.end();) {
        if (!itRequest->m_bAwaitingEnvelope) {
            ++itRequest;
            continue;
        }
        itRequest->m_bAwaitingEnvelope = false;
        const TPackageBuild* pBuild = newerBuild(*itRequest);
        const QString sMismatch = pBuild ? pinMismatch(*itRequest, *pBuild)
                                         : sProblem.isEmpty() ? QStringLiteral("the package is no longer published") : sProblem;
        if (!sMismatch.isEmpty()) {
            qCritical() << "Package configuration of" << itRequest->m_pPackage->name() << "refused:" << sMismatch;
            itRequest = m_lRequests.erase(itRequest);
            continue;
        }
        itRequest->m_bPinsMatched = true;
        ++itRequest;
    }
    configureCompleteRequests();
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
            // A partly installed client keeps its target's documents under the
            // partial marker: read, it stays in the window.
            QString sDocument = m_pFilesystemHelper->pathInsideFolder(oFolder, oSettings.packageFile());
            if (!m_pFilesystemHelper->fileExists(sDocument) && !oSettings.partialPackageFile().isEmpty())
                sDocument = m_pFilesystemHelper->pathInsideFolder(oFolder, oSettings.partialPackageFile());
            // An installed build without assets keeps no asset copy: ask for one
            // only where the build has assets, or it would never be configured.
            addRequest(pPackage, pBuild, QUrl::fromLocalFile(sDocument),
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
