#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
class QUrl;

namespace shared {

// One keep-alive connection to a web server, over a buffered socket: the socket
// takes whatever the kernel holds in one read, where the network layer's own
// plain-http connection reads a head one byte per system call.
class THttpConnection : public QObject
{
    Q_OBJECT

public:
    THttpConnection(const QString& sHost, quint16 nPort, QObject* pParent);

    QTcpSocket* socket() const { return m_pSocket; }
    const QString& key() const { return m_sKey; }
    static QString key(const QString& sHost, quint16 nPort);
    // The Host field's value for oUrl, one of this connection's host and port:
    // the same for every request on it, so formed once.
    const QByteArray& hostField(const QUrl& oUrl);
    // Connects unless connected or connecting.
    void open();
    // Whether it carried a whole answer already: a close before any byte of the
    // next one is then the server dropping a connection it had kept idle.
    bool hasServed() const { return m_bServed; }
    void setServed() { m_bServed = true; }

private:
    QTcpSocket* m_pSocket;
    QString m_sHost;
    quint16 m_nPort;
    QString m_sKey;
    QByteArray m_aHostField;
    bool m_bServed = false;
};

} // namespace shared
