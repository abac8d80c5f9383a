#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>

class QNetworkAccessManager;

namespace shared {

class THttpConnection;

// The plain-http connections of one network access manager, on its thread:
// at most six per host and port, as the network layer keeps, kept alive
// between answers. One pool per manager, so no state is shared across threads.
class THttpConnectionPool : public QObject
{
    Q_OBJECT

public:
    static constexpr int kConnectionsPerHost = 6;

    explicit THttpConnectionPool(QObject* pParent);
    // The manager's pool, made on first use; it dies with the manager.
    static THttpConnectionPool* of(QNetworkAccessManager* pManager);

    // Calls fnStart with a connection of its own for pClient, now or once one is
    // free; not at all if pClient is gone by then. A fresh connection is a new one,
    // never one kept from an earlier answer.
    void acquire(const QString& sHost, quint16 nPort, bool bFresh, QObject* pClient,
                 std::function<void(THttpConnection*)> fnStart);
    // Takes a connection back: kept for the next request only if the answer on it
    // was read whole, else closed.
    void release(THttpConnection* pConnection, bool bReusable);

private:
    struct TWaiting
    {
        QPointer<QObject> m_pClient;
        bool m_bFresh;
        std::function<void(THttpConnection*)> m_fnStart;
    };
    struct THost
    {
        QString m_sHost;
        quint16 m_nPort = 0;
        int m_nOpen = 0;
        QList<THttpConnection*> m_lIdle;
        std::deque<TWaiting> m_lWaiting;
    };

    void dispatch(const QString& sKey);
    void dropIdle(THttpConnection* pConnection);
    void close(THost& oHost, THttpConnection* pConnection);

    QHash<QString, THost> m_hHosts;
};

} // namespace shared
