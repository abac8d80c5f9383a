#pragma once

#include "downloadhandle.h"

#include <QByteArray>
#include <QHash>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QTimer;

namespace shared {

class TDownloadPool;

// One requester's fetches through a shared download pool, each with a deadline
// and a size cap: the pool itself never gives up on a request and takes any
// size, which is wrong for pictures named by a downloaded document. Only the
// URLs this object asked for are reported (it asks through a TDownloadHandle),
// each once, by finished or failed.
class TBoundedDownloads : public QObject
{
    Q_OBJECT

public:
    TBoundedDownloads(std::shared_ptr<TDownloadPool> pPool, qint64 nMaximumBytes, int nTimeoutMilliseconds,
                      QObject* pParent = nullptr);
    ~TBoundedDownloads() override;

    // Does nothing for a URL already under way.
    void fetch(const QUrl& oUrl);
    bool isPending(const QUrl& oUrl) const { return m_hPending.contains(oUrl); }

signals:
    void finished(QUrl Url, QByteArray Data);
    void failed(QUrl Url, QString Reason);

private slots:
    void onPoolSuccess(QUrl Url, QByteArray Data);
    void onPoolFailed(QUrl Url, QNetworkReply::NetworkError Code, QString ErrorString);
    void onPoolProgress(QUrl Url, qint64 BytesReceived);

private:
    // Forgets the URL and tells the pool to stop it.
    void giveUp(const QUrl& oUrl, const QString& sReason);
    // Forgets the URL; false when it was not ours.
    bool settle(const QUrl& oUrl);

    TDownloadHandle m_oHandle;
    qint64 m_nMaximumBytes;
    int m_nTimeout;
    QHash<QUrl, QTimer*> m_hPending;
};

} // namespace shared
