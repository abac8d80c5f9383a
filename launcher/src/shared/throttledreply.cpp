#include "throttledreply.h"

#include "bandwidthlimiter.h"

#include <algorithm>

namespace shared {

TThrottledReply::TThrottledReply(QNetworkReplyWrapper* pReply, std::shared_ptr<TBandwidthLimiter> pLimiter)
    : QNetworkReplyWrapper(nullptr), m_pReply(pReply), m_oUrl(pReply->url()), m_pLimiter(std::move(pLimiter))
{
    setParent(pReply);
    // Small enough that a held-back transfer soon stops taking data, large enough
    // that the network layer is rarely asked for more.
    pReply->setReadBufferSize(std::clamp<qint64>(m_pLimiter->rate() / 16, 16 * 1024, 256 * 1024));
    m_nTransfer = m_pLimiter->addTransfer([this] { return m_pReply ? m_pReply->bytesAvailable() : 0; },
                                          [this](qint64 nBytes) {
                                              const QByteArray aPart = m_pReply ? m_pReply->read(nBytes) : QByteArray();
                                              m_aBody += aPart;
                                              return qint64(aPart.size());
                                          });
    connect(pReply, &QNetworkReplyWrapper::readyRead, this, [this] { m_pLimiter->wake(); });
    connect(pReply, &QNetworkReplyWrapper::progress, this, &QNetworkReplyWrapper::announceProgress);
    connect(pReply, &QNetworkReplyWrapper::error, this, &QNetworkReplyWrapper::announceError);
    connect(pReply, &QNetworkReplyWrapper::metaDataChanged, this, &QNetworkReplyWrapper::announceMetaDataChanged);
    connect(pReply, &QNetworkReplyWrapper::finished, this, [this] {
        leaveLimiter();
        announceFinished();
    });
}

TThrottledReply::~TThrottledReply()
{
    leaveLimiter();
    // Null while the reply itself is being destroyed.
    if (m_pReply)
        m_pReply->deleteLater();
}

void TThrottledReply::leaveLimiter()
{
    if (m_nTransfer >= 0)
        m_pLimiter->removeTransfer(m_nTransfer);
    m_nTransfer = -1;
}

QNetworkReply::NetworkError TThrottledReply::networkError() const
{
    return m_pReply ? m_pReply->networkError() : QNetworkReply::OperationCanceledError;
}

QString TThrottledReply::errorString() const
{
    return m_pReply ? m_pReply->errorString() : QString();
}

QByteArray TThrottledReply::readAll()
{
    const QByteArray aRest = m_pReply ? m_pReply->readAll() : QByteArray();
    m_pLimiter->charge(aRest.size());
    QByteArray aAll;
    aAll.swap(m_aBody);
    return aAll + aRest;
}

qint64 TThrottledReply::bytesAvailable() const
{
    return m_aBody.size() + (m_pReply ? m_pReply->bytesAvailable() : 0);
}

QByteArray TThrottledReply::read(qint64 nMaximum)
{
    QByteArray aPart = m_aBody.left(int(std::min<qint64>(nMaximum, m_aBody.size())));
    m_aBody.remove(0, aPart.size());
    return aPart;
}

qint64 TThrottledReply::announcedSize() const
{
    return m_pReply ? m_pReply->announcedSize() : -1;
}

int TThrottledReply::statusCode() const
{
    return m_pReply ? m_pReply->statusCode() : 0;
}

QByteArray TThrottledReply::rawHeader(const QByteArray& aName) const
{
    return m_pReply ? m_pReply->rawHeader(aName) : QByteArray();
}

QUrl TThrottledReply::url() const
{
    return m_oUrl;
}

void TThrottledReply::abort()
{
    leaveLimiter();
    if (m_pReply)
        m_pReply->abort();
}

} // namespace shared
