#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>

namespace shared {

class TDownloadPool;

// One requester's share of a download pool: it asks for URLs through its handle
// and hears the outcome of those only, each once, with the pool's own signals;
// what others ask the pool for is none of its business. When several handles ask
// for one URL, the pool fetches it once and every one of them hears the answer.
class TDownloadHandle : public QObject
{
    Q_OBJECT

public:
    // Without a pool every request fails at once with "No download pool".
    explicit TDownloadHandle(std::shared_ptr<TDownloadPool> pPool, QObject* pParent = nullptr);
    ~TDownloadHandle() override;

    // TDownloadPool::download for this requester. A URL the pool refuses fails
    // before this returns.
    void download(const QUrl& oUrl);
    // Nothing more is heard of the URL; the pool goes on with it for others.
    void forget(const QUrl& oUrl) { m_hPending.remove(oUrl); }
    bool isPending(const QUrl& oUrl) const { return m_hPending.contains(oUrl); }
    const std::shared_ptr<TDownloadPool>& pool() const { return m_pPool; }

signals:
    void success(QUrl url, QByteArray data);
    void failed(QUrl url, QNetworkReply::NetworkError code, QString errorString);
    void progress(QUrl Url, qint64 BytesReceivedFromRequest);

private:
    std::shared_ptr<TDownloadPool> m_pPool;
    QSet<QUrl> m_hPending;
};

} // namespace shared
