#pragma once

#include <QHash>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>

class QTimer;

namespace shared {

class TDownloadHandle;

// Asks a pool again for an address whose failure a later attempt may mend, with
// the schedule every download of this program follows: at most kAttempts
// attempts in all, each retry after a longer pause. The client hands over each
// failure of an address it asked for and, once the address has an outcome or is
// no longer wanted, forgets it.
class TDownloadRetries : public QObject
{
    Q_OBJECT

public:
    static constexpr int kAttempts = 4;
    // The pause before retry nRetry (from 1 on). Not at once: a connection the
    // server has just reset may not be known dead yet, and an immediate retry
    // can fail on it again without reaching the server.
    static int delayBeforeRetry(int nRetry);
    // A 5xx answer, a connection reset or closed early, a transfer timed out or
    // too slow: the next attempt may succeed. A 4xx answer, a refused connection
    // or an unknown host say what the next attempt would say.
    static bool isTransient(QNetworkReply::NetworkError eCode);

    // The retries go through the client's own handle, which must outlive this.
    explicit TDownloadRetries(TDownloadHandle& oHandle, QObject* pParent = nullptr);
    ~TDownloadRetries() override;

    // True when another attempt of oUrl is scheduled, so that this failure is
    // no outcome yet; false when it is final.
    bool retryLater(const QUrl& oUrl, QNetworkReply::NetworkError eCode);
    // Ends the count of oUrl and drops an attempt still waiting for its turn.
    void forget(const QUrl& oUrl);

private:
    TDownloadHandle* m_pHandle;
    QHash<QUrl, int> m_hRetries;
    QHash<QUrl, QTimer*> m_hWaiting;
};

} // namespace shared
