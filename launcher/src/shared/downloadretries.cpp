#include "downloadretries.h"

#include "downloadhandle.h"

#include <QDebug>
#include <QTimer>

namespace shared {

namespace {
constexpr int kFirstRetryDelayMilliseconds = 200;
}

int TDownloadRetries::delayBeforeRetry(int nRetry)
{
    return kFirstRetryDelayMilliseconds << qBound(0, nRetry - 1, kAttempts);
}

bool TDownloadRetries::isTransient(QNetworkReply::NetworkError eCode)
{
    switch (eCode) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

TDownloadRetries::TDownloadRetries(TDownloadHandle& oHandle, QObject* pParent) : QObject(pParent), m_pHandle(&oHandle)
{
}

TDownloadRetries::~TDownloadRetries() = default;

bool TDownloadRetries::retryLater(const QUrl& oUrl, QNetworkReply::NetworkError eCode)
{
    // The attempt already scheduled still gives an outcome.
    if (m_hWaiting.contains(oUrl))
        return true;
    const int nRetries = m_hRetries.value(oUrl) + 1;
    if (!m_pHandle->pool() || !isTransient(eCode) || nRetries >= kAttempts) {
        forget(oUrl);
        return false;
    }
    m_hRetries.insert(oUrl, nRetries);
    const int nDelay = delayBeforeRetry(nRetries);
    qInfo() << "Retry" << oUrl << "in" << nDelay << "ms after error" << eCode;
    auto* pTimer = new QTimer(this);
    pTimer->setSingleShot(true);
    connect(pTimer, &QTimer::timeout, this, [this, oUrl, pTimer] {
        m_hWaiting.remove(oUrl);
        pTimer->deleteLater();
        m_pHandle->download(oUrl);
    });
    m_hWaiting.insert(oUrl, pTimer);
    pTimer->start(nDelay);
    return true;
}

void TDownloadRetries::forget(const QUrl& oUrl)
{
    m_hRetries.remove(oUrl);
    if (QTimer* pTimer = m_hWaiting.take(oUrl)) {
        pTimer->stop();
        pTimer->deleteLater();
    }
}

} // namespace shared
