#include "downloadhandle.h"

#include "downloadpool.h"

namespace shared {

TDownloadHandle::TDownloadHandle(std::shared_ptr<TDownloadPool> pPool, QObject* pParent)
    : QObject(pParent), m_pPool(std::move(pPool))
{
    if (!m_pPool)
        return;
    connect(m_pPool.get(), &TDownloadPool::success, this, [this](const QUrl& oUrl, const QByteArray& aData) {
        if (m_hPending.remove(oUrl))
            emit success(oUrl, aData);
    });
    connect(m_pPool.get(), &TDownloadPool::failed, this,
            [this](const QUrl& oUrl, QNetworkReply::NetworkError eCode, const QString& sError) {
                if (m_hPending.remove(oUrl))
                    emit failed(oUrl, eCode, sError);
            });
    connect(m_pPool.get(), &TDownloadPool::progress, this, [this](const QUrl& oUrl, qint64 nBytes) {
        if (m_hPending.contains(oUrl))
            emit progress(oUrl, nBytes);
    });
}

// Requests still under way are left to the pool: another requester may be
// waiting for the same address, and an unclaimed answer costs nothing.
TDownloadHandle::~TDownloadHandle() = default;

void TDownloadHandle::download(const QUrl& oUrl)
{
    if (!m_pPool) {
        emit failed(oUrl, QNetworkReply::UnknownNetworkError, QStringLiteral("No download pool"));
        return;
    }
    // Before asking: the pool may report an unusable address before it returns.
    m_hPending.insert(oUrl);
    m_pPool->download(oUrl);
}

} // namespace shared
