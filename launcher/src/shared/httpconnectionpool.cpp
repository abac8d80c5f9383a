#include "httpconnectionpool.h"

#include "httpconnection.h"

#include <QNetworkAccessManager>
#include <QTcpSocket>

namespace shared {

THttpConnectionPool::THttpConnectionPool(QObject* pParent) : QObject(pParent) {}

THttpConnectionPool* THttpConnectionPool::of(QNetworkAccessManager* pManager)
{
    auto* pPool = pManager->findChild<THttpConnectionPool*>(QString(), Qt::FindDirectChildrenOnly);
    return pPool ? pPool : new THttpConnectionPool(pManager);
}

void THttpConnectionPool::acquire(const QString& sHost, quint16 nPort, bool bFresh, QObject* pClient,
                                  std::function<void(THttpConnection*)> fnStart)
{
    const QString sKey = THttpConnection::key(sHost, nPort);
    THost& oHost = m_hHosts[sKey];
    oHost.m_sHost = sHost;
    oHost.m_nPort = nPort;
    oHost.m_lWaiting.push_back(TWaiting{pClient, bFresh, std::move(fnStart)});
    dispatch(sKey);
}

void THttpConnectionPool::release(THttpConnection* pConnection, bool bReusable)
{
    const QString sKey = pConnection->key();
    THost& oHost = m_hHosts[sKey];
    QTcpSocket* pSocket = pConnection->socket();
    if (!bReusable || pSocket->state() != QAbstractSocket::ConnectedState) {
        close(oHost, pConnection);
    } else {
        pSocket->setReadBufferSize(0);
        oHost.m_lIdle.append(pConnection);
    }
    dispatch(sKey);
}

void THttpConnectionPool::dropIdle(THttpConnection* pConnection)
{
    // Anything an idle connection hears, a close or stray bytes, ends it.
    THost& oHost = m_hHosts[pConnection->key()];
    if (oHost.m_lIdle.removeOne(pConnection))
        close(oHost, pConnection);
}

void THttpConnectionPool::close(THost& oHost, THttpConnection* pConnection)
{
    --oHost.m_nOpen;
    pConnection->setListener(nullptr);
    pConnection->disconnect(this);
    // Closed now, so no half-read answer stays on the wire; deleted later, as
    // this may run in one of its socket's signals.
    pConnection->socket()->abort();
    pConnection->deleteLater();
}

void THttpConnectionPool::dispatch(const QString& sKey)
{
    // Looked up anew each round: a start may reach back into the pool.
    for (;;) {
        THost& oHost = m_hHosts[sKey];
        if (oHost.m_lWaiting.empty())
            return;
        if (!oHost.m_lWaiting.front().m_pClient) {
            oHost.m_lWaiting.pop_front();
            continue;
        }
        THttpConnection* pConnection = nullptr;
        if (!oHost.m_lIdle.isEmpty()) {
            pConnection = oHost.m_lIdle.takeLast();
            // A fresh connection is wanted: the idle one gives up its place.
            if (oHost.m_lWaiting.front().m_bFresh) {
                close(oHost, pConnection);
                pConnection = nullptr;
            }
        }
        if (!pConnection) {
            if (oHost.m_nOpen >= kConnectionsPerHost)
                return;
            pConnection = new THttpConnection(oHost.m_sHost, oHost.m_nPort, this);
            connect(pConnection, &THttpConnection::heardWhileIdle, this, [this, pConnection] { dropIdle(pConnection); });
            ++oHost.m_nOpen;
        }
        const auto fnStart = std::move(oHost.m_lWaiting.front().m_fnStart);
        oHost.m_lWaiting.pop_front();
        fnStart(pConnection);
    }
}

} // namespace shared
