#include "downloadpool.h"

#include "bandwidthlimiter.h"
#include "networkaccessmanagerauthenticationhandler.h"
#include "qnetworkaccessmanagerwrapper.h"
#include "qnetworkreplywrapper.h"
#include "throttledreply.h"
#include "transferpace.h"

#include <QNetworkRequest>

#include <algorithm>
#include <chrono>
#include <climits>

namespace shared {

namespace {

qint64 steadyMilliseconds()
{
    return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

} // namespace

TDownloadPool::TDownloadPool(int MaxConcurrentDownloads, std::shared_ptr<QNetworkAccessManagerWrapper> Manager,
                             QObject* Parent, bool ReleaseOnFinish)
    : QObject(Parent)
    , m_pManager(std::move(Manager))
    , m_nMaxConcurrentDownloads(MaxConcurrentDownloads)
    , m_pAuthenticationHandler(std::make_unique<TNetworkAccessManagerAuthenticationHandler>())
    , m_bReleaseOnFinish(ReleaseOnFinish)
    , m_fnNow(steadyMilliseconds)
{
    if (m_pManager)
        m_pManager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

TDownloadPool::~TDownloadPool() = default;

void TDownloadPool::download(const QUrl& oUrl)
{
    enqueue(oUrl, false);
}

void TDownloadPool::downloadWithPriority(const QUrl& oUrl)
{
    enqueue(oUrl, true);
}

void TDownloadPool::enqueue(const QUrl& oUrl, bool bAtFront)
{
    // Checked on the encoded form: the decoded one would turn a space in a local
    // folder name into an "invalid" character.
    const QUrl oStrict(QString::fromLatin1(oUrl.toEncoded()), QUrl::StrictMode);
    if (!oStrict.isValid() || oStrict.isRelative()) {
        emit failed(oUrl, QNetworkReply::ProtocolInvalidOperationError, QStringLiteral("Invalid URL"));
        return;
    }
    dequeue(oUrl);
    if (m_hRunning.contains(oUrl))
        return;
    if (bAtFront)
        m_lQueue.push_front(oUrl);
    else
        m_lQueue.push_back(oUrl);
    m_hQueued.insert(oUrl);
    startWaitingRequests();
}

void TDownloadPool::setMaxConcurrentDownloads(int nMaxConcurrentDownloads)
{
    m_nMaxConcurrentDownloads = nMaxConcurrentDownloads;
    if (m_nMaxConcurrentDownloads > 0)
        startWaitingRequests();
}

int TDownloadPool::maxConcurrentDownloads() const
{
    return m_nMaxConcurrentDownloads;
}

int TDownloadPool::activeDownloads() const
{
    return m_hRunning.size();
}

int TDownloadPool::outstandingDownloads() const
{
    return m_hRunning.size() + static_cast<int>(m_lQueue.size());
}

void TDownloadPool::setCache(QAbstractNetworkCache* pCache)
{
    if (m_pManager)
        m_pManager->setCache(pCache);
}

void TDownloadPool::release(const QUrl& oUrl)
{
    if (m_hRunning.remove(oUrl) > 0)
        startWaitingRequests();
}

void TDownloadPool::abort(const QUrl& oUrl)
{
    dequeue(oUrl);
    QNetworkReplyWrapper* pReply = m_hRunning.value(oUrl);
    if (m_hRunning.remove(oUrl) == 0)
        return;
    // Removed first, so that the signals abort() sends find no current request.
    if (pReply)
        pReply->abort();
    startWaitingRequests();
}

void TDownloadPool::setStallLimits(qint64 nStallTimeout, qint64 nMinimumBytesPerSecond)
{
    m_nStallTimeout = std::clamp<qint64>(nStallTimeout, 0, INT_MAX);
    m_nMinimumTransferRate = nMinimumBytesPerSecond;
}

void TDownloadPool::dequeue(const QUrl& oUrl)
{
    // Thousands of chunks may wait: the set spares a walk through the queue for
    // every URL that is not in it.
    if (!m_hQueued.remove(oUrl))
        return;
    m_lQueue.erase(std::find(m_lQueue.begin(), m_lQueue.end(), oUrl));
}

void TDownloadPool::startWaitingRequests()
{
    while (!m_lQueue.empty() && activeDownloads() < maxConcurrentDownloads()) {
        const QUrl oUrl = m_lQueue.front();
        m_lQueue.pop_front();
        m_hQueued.remove(oUrl);
        startRequest(oUrl);
    }
}

void TDownloadPool::startRequest(const QUrl& oUrl)
{
    // The URL takes no slot: the next queued one is tried, and fails, at once.
    if (!m_pManager) {
        emit failed(oUrl, QNetworkReply::UnknownNetworkError, QStringLiteral("No network access manager"));
        return;
    }
    QNetworkRequest oRequest(oUrl);
    // The network layer itself gives up a transfer that goes silent.
    oRequest.setTransferTimeout(int(m_nStallTimeout));
    QNetworkReplyWrapper* pReply = m_pManager->get(oRequest);
    if (m_pLimiter && m_pLimiter->rate() > 0)
        pReply = new TThrottledReply(pReply, m_pLimiter);
    connect(pReply, &QNetworkReplyWrapper::finished, this, [this, pReply] { onReplyFinished(pReply); });
    connect(pReply, &QNetworkReplyWrapper::error, this, [this, pReply] { onReplyError(pReply); });
    // Lives as long as the connection, that is as long as the reply.
    auto pPace = std::make_shared<TTransferPace>(m_nStallTimeout);
    connect(pReply, &QNetworkReplyWrapper::progress, this,
            [this, pReply, pPace](qint64 nReceived) {
                // An aborted or released reply's last progress is not the new request's.
                if (!isCurrentReply(pReply))
                    return;
                // A trickle of bytes keeps the network layer's time-out from ever
                // running out: the transfer would take days and hold its slot.
                pPace->addSample(m_fnNow(), nReceived);
                const qint64 nFloor = m_pLimiter ? m_pLimiter->floorFor(m_nMinimumTransferRate) : m_nMinimumTransferRate;
                if (nFloor > 0 && pPace->isBelow(nFloor)) {
                    giveUpCrawling(pReply);
                    return;
                }
                emit progress(pReply->url(), nReceived);
            });
    m_hRunning.insert(oUrl, pReply);
}

bool TDownloadPool::isCurrentReply(QNetworkReplyWrapper* pReply) const
{
    // A URL released and requested again maps to a newer reply: the old one's
    // late signals must neither report nor free the new request's slot.
    const auto it = m_hRunning.constFind(pReply->url());
    return it != m_hRunning.constEnd() && it.value() == pReply;
}

void TDownloadPool::onReplyFinished(QNetworkReplyWrapper* pReply)
{
    // Nothing is emitted by a reply after finished(), whoever reported its outcome.
    pReply->deleteLater();
    settle(pReply);
}

void TDownloadPool::onReplyError(QNetworkReplyWrapper* pReply)
{
    settle(pReply);
}

void TDownloadPool::settle(QNetworkReplyWrapper* pReply)
{
    if (!isCurrentReply(pReply))
        return;
    vacate(pReply->url());
    report(pReply);
    if (m_bReleaseOnFinish)
        startWaitingRequests();
}

void TDownloadPool::giveUpCrawling(QNetworkReplyWrapper* pReply)
{
    const QUrl oUrl = pReply->url();
    // Vacated first, so that the signals abort() sends report nothing.
    vacate(oUrl);
    pReply->abort();
    emit failed(oUrl, QNetworkReply::TimeoutError,
                QStringLiteral("Fewer than %1 bytes a second arrived over %2 ms")
                    .arg(m_pLimiter ? m_pLimiter->floorFor(m_nMinimumTransferRate) : m_nMinimumTransferRate)
                    .arg(m_nStallTimeout));
    if (m_bReleaseOnFinish)
        startWaitingRequests();
}

void TDownloadPool::vacate(const QUrl& oUrl)
{
    // Without release-on-finish the slot stays taken, but the entry no longer
    // names the reply, so its finished() after an error reports nothing more.
    if (m_bReleaseOnFinish)
        m_hRunning.remove(oUrl);
    else
        m_hRunning.insert(oUrl, nullptr);
}

void TDownloadPool::report(QNetworkReplyWrapper* pReply)
{
    const QNetworkReply::NetworkError eError = pReply->networkError();
    // The network layer's time-out cancels the reply; the pool's own
    // cancellations report nothing. Said as what it is.
    if (eError == QNetworkReply::OperationCanceledError && m_nStallTimeout > 0) {
        emit failed(pReply->url(), QNetworkReply::TimeoutError, QStringLiteral("Nothing arrived for %1 ms").arg(m_nStallTimeout));
        return;
    }
    if (eError != QNetworkReply::NoError) {
        emit failed(pReply->url(), eError, pReply->errorString());
        return;
    }
    const QByteArray aData = pReply->readAll();
    // The network layer may end an answer that a reset cut off as if it were
    // whole: a document would be taken as it is, half of it.
    const qint64 nAnnounced = pReply->announcedSize();
    if (nAnnounced >= 0 && aData.size() < nAnnounced) {
        emit failed(pReply->url(), QNetworkReply::RemoteHostClosedError,
                    QStringLiteral("The connection closed after %1 of %2 bytes").arg(aData.size()).arg(nAnnounced));
        return;
    }
    emit success(pReply->url(), aData);
}

} // namespace shared
