#pragma once

#include <QObject>
#include <QString>

class QTcpSocket;

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
    QString key() const { return key(m_sHost, m_nPort); }
    static QString key(const QString& sHost, quint16 nPort);
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
    bool m_bServed = false;
};

} // namespace shared
