#pragma once

#include "qnetworkreplywrapper.h"

#include <QPointer>

#include <memory>

namespace shared {

class TBandwidthLimiter;

// A reply read through a bandwidth limiter: the body is taken from the network
// layer's small read buffer only as fast as the limiter hands out bytes, and
// what is left when the answer ends is read at once and charged to the limiter.
// It stands in for the reply it wraps (a child of it, so it dies with it);
// deleting it deletes that reply too.
class TThrottledReply : public QNetworkReplyWrapper
{
    Q_OBJECT

public:
    TThrottledReply(QNetworkReplyWrapper* pReply, std::shared_ptr<TBandwidthLimiter> pLimiter);
    ~TThrottledReply() override;

    QNetworkReply::NetworkError networkError() const override;
    QString errorString() const override;
    QByteArray readAll() override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 nMaximum) override;
    qint64 announcedSize() const override;
    int statusCode() const override;
    QByteArray rawHeader(const QByteArray& aName) const override;
    QUrl url() const override;
    void abort() override;

private:
    void leaveLimiter();

    QPointer<QNetworkReplyWrapper> m_pReply;
    QUrl m_oUrl;
    std::shared_ptr<TBandwidthLimiter> m_pLimiter;
    int m_nTransfer = -1;
    QByteArray m_aBody;
};

} // namespace shared
