#pragma once

#include "qnetworkreplywrapper.h"
#include "transferpace.h"

#include <QByteArray>
#include <QHash>
#include <QNetworkReply>
#include <QObject>
#include <QSet>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QAbstractNetworkCache;

namespace shared {

class QNetworkAccessManagerWrapper;
class TBandwidthLimiter;
class TNetworkAccessManagerAuthenticationHandler;

// A queue of URLs in front of one network access manager, with a limit on how
// many GET requests run at once. It never retries and never looks into the
// payload (an answer shorter than it announced fails): each URL's outcome is
// reported once, by success or failed. A URL is either queued or running, never
// both and never twice. With stall limits set it gives up a transfer that
// stalls or crawls (see setStallLimits()).
//
// With release-on-finish a request gives its slot back as soon as its outcome is
// reported. Without it the slot stays taken (activeDownloads() counts it) until
// the client calls release(url); such a client must release a URL when it
// handles its first failed(), so that nothing further is reported for it.
class TDownloadPool : public QObject, private QNetworkReplyWrapper::TListener
{
    Q_OBJECT

public:
    // Redirects are followed, except from an encrypted to an unencrypted scheme.
    // Without a manager every request fails with UnknownNetworkError when its
    // turn comes, and setCache() does nothing.
    TDownloadPool(int MaxConcurrentDownloads, std::shared_ptr<QNetworkAccessManagerWrapper> Manager,
                  QObject* Parent = nullptr, bool ReleaseOnFinish = true);
    ~TDownloadPool() override;

    // Enqueues at the back; a queued URL moves to the back, a running one is left
    // alone. A URL that is not valid and absolute fails at once with
    // ProtocolInvalidOperationError and "Invalid URL" and is not queued.
    virtual void download(const QUrl& oUrl);
    // Enqueues at the front (a queued URL moves to the front); no validity check.
    virtual void downloadWithPriority(const QUrl& oUrl);
    // download() (downloadWithPriority() with bAtFront) for the bytes from
    // nFirstByte on, for a client that holds the
    // ones before: an http(s) request asks for "Range: bytes=N-". The body that
    // progress(), success() and partlyReceived() then speak of begins at
    // nFirstByte, unless restarted() says it begins at 0: the server sent the
    // whole (a 200), or could not serve the range asked (a 416, or a 206 that
    // begins elsewhere, whose answer is dropped and asked for again whole).
    virtual void downloadFrom(const QUrl& oUrl, qint64 nFirstByte, bool bAtFront = false);
    // A limit of 0 or less holds every queued URL back.
    virtual void setMaxConcurrentDownloads(int nMaxConcurrentDownloads);
    virtual int maxConcurrentDownloads() const;
    // Entries in the running table, including finished but unreleased ones.
    virtual int activeDownloads() const;
    virtual int outstandingDownloads() const;
    // The manager takes ownership of the cache; without a manager the caller keeps it.
    virtual void setCache(QAbstractNetworkCache* pCache);
    virtual void release(const QUrl& oUrl);
    // Stops a running request without reporting anything more for it and frees
    // its slot; a queued one is dropped.
    virtual void abort(const QUrl& oUrl);
    // abort() for a request made with downloadFrom(), handing back the body
    // bytes it has received so far (none before its answer's head is in).
    virtual QByteArray abortKeeping(const QUrl& oUrl);
    // For requests started from now on: a transfer that receives nothing for
    // nStallTimeout ms, or that after its first byte averages fewer than
    // nMinimumBytesPerSecond over the last nStallTimeout ms, fails with
    // TimeoutError. 0 turns either limit off; the floor needs the time-out.
    void setStallLimits(qint64 nStallTimeout, qint64 nMinimumBytesPerSecond);
    // The floor may change while transfers run, and counts at their next
    // report. A bandwidth limit of our own must keep it at most a quarter of
    // each transfer's share, or a transfer it holds back would count as crawling.
    void setMinimumTransferRate(qint64 nBytesPerSecond) { m_nMinimumTransferRate = nBytesPerSecond; }
    // Requests started from now on read their answers through the limiter, which
    // may be shared with other pools; the low-speed floor is then held at a
    // quarter of each transfer's share at most. Null: no limit.
    void setBandwidthLimiter(std::shared_ptr<TBandwidthLimiter> pLimiter) { m_pLimiter = std::move(pLimiter); }
    // Milliseconds of a steady clock, against which transfers are measured.
    void setClock(std::function<qint64()> fnNow) { m_fnNow = std::move(fnNow); }

signals:
    void success(QUrl url, QByteArray data);
    void failed(QUrl url, QNetworkReply::NetworkError code, QString errorString);
    void progress(QUrl Url, qint64 BytesReceivedFromRequest);
    // For a request made with downloadFrom(): its body begins at byte 0 of the
    // resource from now on, whatever the client holds is of no use.
    void restarted(QUrl Url);
    // Just before failed() of a request made with downloadFrom() whose answer
    // broke off: the body bytes it had received, for the next attempt to go on from.
    void partlyReceived(QUrl Url, QByteArray Data);

private:
    // A request made with downloadFrom(), queued or running.
    struct TRangedRequest
    {
        qint64 m_nFirstByte = 0;
        // The answer's head showed where its body begins.
        bool m_bChecked = false;
        // Body bytes taken from the reply as they came: a reply the network
        // layer aborts (its own time-out) drops what it buffered.
        QByteArray m_aReceived;
    };

    // A request whose reply runs, or that keeps its slot until released.
    struct TRunning
    {
        // Null once the reply's outcome is reported.
        QNetworkReplyWrapper* m_pReply = nullptr;
        // Set while the reply runs.
        std::optional<TTransferPace> m_oPace;
    };

    void replyMetaDataChanged(QNetworkReplyWrapper* pReply) override;
    void replyReadyRead(QNetworkReplyWrapper* pReply) override;
    void replyProgress(QNetworkReplyWrapper* pReply, qint64 nReceived) override;
    void replyError(QNetworkReplyWrapper* pReply, QNetworkReply::NetworkError eError) override;
    void replyFinished(QNetworkReplyWrapper* pReply) override;

    void enqueue(const QUrl& oUrl, bool bAtFront);
    void dequeue(const QUrl& oUrl);
    void startWaitingRequests();
    void startRequest(const QUrl& oUrl);
    // Reports a reply's outcome once, the first time it has one.
    void settle(QNetworkReplyWrapper* pReply);
    void giveUpCrawling(QNetworkReplyWrapper* pReply);
    // Takes a settled request's reply out of the running table.
    void vacate(const QUrl& oUrl);
    void report(QNetworkReplyWrapper* pReply);
    bool isCurrentReply(QNetworkReplyWrapper* pReply) const;
    // The reply of a running request; null when there is none, or it has reported.
    QNetworkReplyWrapper* runningReply(const QUrl& oUrl) const;
    // Whether a ranged request's answer may go on; false when it was dropped
    // and the request started over for the whole body. bAnswered: the reply
    // has its outcome and needs no stopping.
    bool answerFitsRange(QNetworkReplyWrapper* pReply, bool bAnswered = false);
    // Whether a ranged answer's body is the resource's bytes from its first
    // byte on (a 200 or a fitting 206), which are worth keeping when it breaks off.
    bool isResourceBody(QNetworkReplyWrapper* pReply) const;
    // A ranged request's body received so far, also what was read as it came.
    QByteArray takeReceived(QNetworkReplyWrapper* pReply);

    std::shared_ptr<QNetworkAccessManagerWrapper> m_pManager;
    QHash<QUrl, TRunning> m_hRunning;
    int m_nMaxConcurrentDownloads;
    std::deque<QUrl> m_lQueue;
    QSet<QUrl> m_hQueued;
    std::unique_ptr<TNetworkAccessManagerAuthenticationHandler> m_pAuthenticationHandler;
    bool m_bReleaseOnFinish;
    qint64 m_nStallTimeout = 0;
    qint64 m_nMinimumTransferRate = 0;
    std::function<qint64()> m_fnNow;
    std::shared_ptr<TBandwidthLimiter> m_pLimiter;
    QHash<QUrl, TRangedRequest> m_hRanged;
};

} // namespace shared
