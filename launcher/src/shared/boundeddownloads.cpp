#include "boundeddownloads.h"

#include "downloadpool.h"

#include <QTimer>

namespace shared {

TBoundedDownloads::TBoundedDownloads(std::shared_ptr<TDownloadPool> pPool, qint64 nMaximumBytes,
                                     int nTimeoutMilliseconds, QObject* pParent)
    : QObject(pParent), m_oHandle(std::move(pPool)), m_nMaximumBytes(nMaximumBytes), m_nTimeout(nTimeoutMilliseconds)
{
    connect(&m_oHandle, &TDownloadHandle::success, this, &TBoundedDownloads::onPoolSuccess);
    connect(&m_oHandle, &TDownloadHandle::failed, this, &TBoundedDownloads::onPoolFailed);
    connect(&m_oHandle, &TDownloadHandle::progress, this, &TBoundedDownloads::onPoolProgress);
}

TBoundedDownloads::~TBoundedDownloads() = default;

void TBoundedDownloads::fetch(const QUrl& oUrl)
{
    if (m_hPending.contains(oUrl))
        return;
    auto* pTimer = new QTimer(this);
    pTimer->setSingleShot(true);
    connect(pTimer, &QTimer::timeout, this, [this, oUrl] { giveUp(oUrl, QStringLiteral("Timed out")); });
    m_hPending.insert(oUrl, pTimer);
    pTimer->start(m_nTimeout);
    m_oHandle.download(oUrl);
}

void TBoundedDownloads::onPoolSuccess(QUrl Url, QByteArray Data)
{
    if (!settle(Url))
        return;
    if (Data.size() > m_nMaximumBytes)
        emit failed(Url, QStringLiteral("Larger than %1 bytes").arg(m_nMaximumBytes));
    else
        emit finished(Url, Data);
}

void TBoundedDownloads::onPoolFailed(QUrl Url, QNetworkReply::NetworkError, QString ErrorString)
{
    if (settle(Url))
        emit failed(Url, ErrorString);
}

void TBoundedDownloads::onPoolProgress(QUrl Url, qint64 BytesReceived)
{
    if (BytesReceived > m_nMaximumBytes)
        giveUp(Url, QStringLiteral("Larger than %1 bytes").arg(m_nMaximumBytes));
}

void TBoundedDownloads::giveUp(const QUrl& oUrl, const QString& sReason)
{
    if (!settle(oUrl))
        return;
    m_oHandle.forget(oUrl);
    m_oHandle.pool()->abort(oUrl);
    emit failed(oUrl, sReason);
}

bool TBoundedDownloads::settle(const QUrl& oUrl)
{
    QTimer* pTimer = m_hPending.take(oUrl);
    if (!pTimer)
        return false;
    pTimer->stop();
    pTimer->deleteLater();
    return true;
}

} // namespace shared
