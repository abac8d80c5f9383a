#include "downloadpool.h"

#include "bandwidthlimiter.h"
#include "networkaccessmanagerauthenticationhandler.h"
#include "qnetworkaccessmanagerwrapper.h"
#include "qnetworkreplywrapper.h"
#include "throttledreply.h"
#include "transferpace.h"

#include <QDebug>
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

// Where the body of a "Content-Range: bytes N-M/T" answer begins; -1 when it says nothing usable.
qint64 rangeStart(const QByteArray& aContentRange)
{
    const QByteArray aRange = aContentRange.trimmed();
    const int nDash = aRange.indexOf('-');
    bool bNumber = false;
    const qint64 nStart = aRange.mid(6, nDash - 6).trimmed().toLongLong(&bNumber);
    return aRange.startsWith("bytes ") && nDash > 6 && bNumber ? nStart : -1;
}

// Whether an encoded URL holds only characters that every parsing mode reads
// alike: the strict check below would then say what the URL's own validity says.
bool isPlainEncoded(const QByteArray& aEncoded)
{
    return std::all_of(aEncoded.begin(), aEncoded.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
               || c == '_' || c == '~' || c == '/' || c == ':';
    });
}

bool isValidAbsolute(const QUrl& oUrl)
{
    // Checked on the encoded form: the decoded one would turn a space in a local
    // folder name into an "invalid" character. Parsing it again for every chunk
    // of a client was a good part of starting a request.
    const QByteArray aEncoded = oUrl.toEncoded();
    if (isPlainEncoded(aEncoded))
        return oUrl.isValid() && !oUrl.isRelative();
    const QUrl oStrict(QString::fromLatin1(aEncoded), QUrl::StrictMode);
    return oStrict.isValid() && !oStrict.isRelative();
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
    if (!m_hRunning.contains(oUrl))
        m_hRanged.remove(oUrl);
    enqueue(oUrl, false);
}

void TDownloadPool::downloadFrom(const QUrl& oUrl, qint64 nFirstByte, bool bAtFront)
{
    if (!m_hRunning.contains(oUrl))
        m_hRanged.insert(oUrl, TRangedRequest{std::max<qint64>(nFirstByte, 0), false, QByteArray()});
    enqueue(oUrl, bAtFront);
    if (!m_hRunning.contains(oUrl) && !m_hQueued.contains(oUrl))
        m_hRanged.remove(oUrl);
}

void TDownloadPool::downloadWithPriority(const QUrl& oUrl)
{
    enqueue(oUrl, true);
}

void TDownloadPool::enqueue(const QUrl& oUrl, bool bAtFront)
{
    if (!isValidAbsolute(oUrl)) {
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
    m_hRanged.remove(oUrl);
    const auto it = m_hRunning.find(oUrl);
    if (it == m_hRunning.end())
        return;
    QNetworkReplyWrapper* pReply = it->m_pReply;
    m_hRunning.erase(it);
    // Removed first, so that the signals abort() sends find no current request.
    if (pReply)
        pReply->abort();
    startWaitingRequests();
}

QByteArray TDownloadPool::abortKeeping(const QUrl& oUrl)
{
    QNetworkReplyWrapper* pReply = runningReply(oUrl);
    const QByteArray aKept = pReply && isResourceBody(pReply) ? takeReceived(pReply) : QByteArray();
    abort(oUrl);
    return aKept;
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
    const auto itRanged = m_hRanged.find(oUrl);
    const bool bRanged = itRanged != m_hRanged.end();
    if (bRanged) {
        itRanged->m_bChecked = false;
        itRanged->m_aReceived.clear();
        const QString sScheme = oUrl.scheme().toLower();
        if (sScheme != QLatin1String("http") && sScheme != QLatin1String("https") && itRanged->m_nFirstByte > 0) {
            // Other schemes know no ranges: the whole comes.
            itRanged->m_nFirstByte = 0;
            emit restarted(oUrl);
        } else if (itRanged->m_nFirstByte > 0) {
            oRequest.setRawHeader("Range", "bytes=" + QByteArray::number(itRanged->m_nFirstByte) + '-');
        }
    }
    QNetworkReplyWrapper* pReply = m_pManager->get(oRequest);
    if (m_pLimiter && m_pLimiter->rate() > 0)
        pReply = new TThrottledReply(pReply, m_pLimiter);
    pReply->setListener(this, this);
    TRunning oRunning;
    oRunning.m_pReply = pReply;
    oRunning.m_oPace.emplace(m_nStallTimeout);
    m_hRunning.insert(oUrl, std::move(oRunning));
}

void TDownloadPool::replyMetaDataChanged(QNetworkReplyWrapper* pReply)
{
    if (isCurrentReply(pReply))
        answerFitsRange(pReply);
}

void TDownloadPool::replyReadyRead(QNetworkReplyWrapper* pReply)
{
    // A ranged answer's body is taken as it comes (a throttled reply keeps what
    // it read itself, and says nothing of it), and reported as it comes: the
    // network layer reports progress at most every 100 ms, and not the last
    // bytes before a stall.
    const auto it = m_hRanged.find(pReply->url());
    if (it == m_hRanged.end() || !isCurrentReply(pReply))
        return;
    it->m_aReceived += pReply->read(pReply->bytesAvailable());
    replyProgress(pReply, it->m_aReceived.size());
}

void TDownloadPool::replyProgress(QNetworkReplyWrapper* pReply, qint64 nReceived)
{
    // An aborted or released reply's last progress is not the new request's.
    if (!isCurrentReply(pReply) || !answerFitsRange(pReply))
        return;
    // A trickle of bytes keeps the network layer's time-out from ever
    // running out: the transfer would take days and hold its slot.
    // Looked up again: a client that heard of a restart may have stopped the request.
    const auto it = m_hRunning.find(pReply->url());
    if (it == m_hRunning.end() || it->m_pReply != pReply)
        return;
    TTransferPace& oPace = *it->m_oPace;
    oPace.addSample(m_fnNow(), nReceived);
    const qint64 nFloor = m_pLimiter ? m_pLimiter->floorFor(m_nMinimumTransferRate) : m_nMinimumTransferRate;
    if (nFloor > 0 && oPace.isBelow(nFloor)) {
        giveUpCrawling(pReply);
        return;
    }
    emit progress(pReply->url(), nReceived);
}

bool TDownloadPool::answerFitsRange(QNetworkReplyWrapper* pReply, bool bAnswered)
{
    const QUrl oUrl = pReply->url();
    const auto it = m_hRanged.find(oUrl);
    if (it == m_hRanged.end() || it->m_bChecked || it->m_nFirstByte == 0)
        return true;
    const int nStatus = pReply->statusCode();
    if (nStatus == 200) {
        it->m_bChecked = true;
        it->m_nFirstByte = 0;
        emit restarted(oUrl);
        return true;
    }
    if (nStatus == 206 && rangeStart(pReply->rawHeader("Content-Range")) == it->m_nFirstByte) {
        it->m_bChecked = true;
        return true;
    }
    // A redirect or an error answer says nothing about the body yet.
    if (nStatus != 206 && nStatus != 416)
        return true;
    qInfo() << "The server answered" << nStatus << pReply->rawHeader("Content-Range") << "to a request for" << oUrl
            << "from byte" << it->m_nFirstByte << "- asking for all of it";
    it->m_nFirstByte = 0;
    m_hRunning.remove(oUrl);
    // Taken out first, so that the signals abort() sends report nothing; a
    // reply that has its outcome already needs none.
    if (!bAnswered)
        pReply->abort();
    emit restarted(oUrl);
    startRequest(oUrl);
    return false;
}

bool TDownloadPool::isResourceBody(QNetworkReplyWrapper* pReply) const
{
    const auto it = m_hRanged.constFind(pReply->url());
    const int nStatus = pReply->statusCode();
    return it != m_hRanged.constEnd() && (nStatus == 200 || (nStatus == 206 && (it->m_bChecked || it->m_nFirstByte == 0)));
}

QByteArray TDownloadPool::takeReceived(QNetworkReplyWrapper* pReply)
{
    QByteArray aBody;
    const auto it = m_hRanged.find(pReply->url());
    if (it != m_hRanged.end())
        aBody.swap(it->m_aReceived);
    return aBody.isEmpty() ? pReply->readAll() : aBody + pReply->readAll();
}

bool TDownloadPool::isCurrentReply(QNetworkReplyWrapper* pReply) const
{
    // A URL released and requested again maps to a newer reply: the old one's
    // late signals must neither report nor free the new request's slot.
    return runningReply(pReply->url()) == pReply;
}

QNetworkReplyWrapper* TDownloadPool::runningReply(const QUrl& oUrl) const
{
    // Not value(): that would copy the request's pace as well.
    const auto it = m_hRunning.constFind(oUrl);
    return it != m_hRunning.constEnd() ? it->m_pReply : nullptr;
}

void TDownloadPool::replyFinished(QNetworkReplyWrapper* pReply)
{
    // Nothing is emitted by a reply after finished(), whoever reported its outcome.
    pReply->deleteLater();
    settle(pReply);
}

void TDownloadPool::replyError(QNetworkReplyWrapper* pReply, QNetworkReply::NetworkError)
{
    settle(pReply);
}

void TDownloadPool::settle(QNetworkReplyWrapper* pReply)
{
    if (!isCurrentReply(pReply) || !answerFitsRange(pReply, true))
        return;
    vacate(pReply->url());
    report(pReply);
    if (m_bReleaseOnFinish)
        startWaitingRequests();
}

void TDownloadPool::giveUpCrawling(QNetworkReplyWrapper* pReply)
{
    const QUrl oUrl = pReply->url();
    const QByteArray aReceived = isResourceBody(pReply) ? takeReceived(pReply) : QByteArray();
    m_hRanged.remove(oUrl);
    // Vacated first, so that the signals abort() sends report nothing.
    vacate(oUrl);
    pReply->abort();
    if (!aReceived.isEmpty())
        emit partlyReceived(oUrl, aReceived);
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
        m_hRunning.insert(oUrl, TRunning());
}

void TDownloadPool::report(QNetworkReplyWrapper* pReply)
{
    const QNetworkReply::NetworkError eError = pReply->networkError();
    const bool bRanged = m_hRanged.contains(pReply->url());
    const bool bResource = bRanged && isResourceBody(pReply);
    // Taken as it stands: the body's first bytes may have been read as they came.
    const QByteArray aBody = bRanged ? takeReceived(pReply) : QByteArray();
    // Before anything is emitted: a client may ask for the URL again at once.
    m_hRanged.remove(pReply->url());
    if (eError != QNetworkReply::NoError && bResource && !aBody.isEmpty())
        emit partlyReceived(pReply->url(), aBody);
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
    const QByteArray aData = bRanged ? aBody : pReply->readAll();
    // The network layer may end an answer that a reset cut off as if it were
    // whole: a document would be taken as it is, half of it.
    const qint64 nAnnounced = pReply->announcedSize();
    if (nAnnounced >= 0 && aData.size() < nAnnounced) {
        if (bResource && !aData.isEmpty())
            emit partlyReceived(pReply->url(), aData);
        emit failed(pReply->url(), QNetworkReply::RemoteHostClosedError,
                    QStringLiteral("The connection closed after %1 of %2 bytes").arg(aData.size()).arg(nAnnounced));
        return;
    }
    emit success(pReply->url(), aData);
}

} // namespace shared
