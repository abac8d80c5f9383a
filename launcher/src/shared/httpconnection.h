#pragma once

#include <QAbstractSocket>
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
    // Who hears what the socket says: the request the connection carries. The
    // socket's signals are connected once for the connection's life, because
    // connecting and breaking them for every request cost more than a small
    // chunk's whole answer.
    class TListener
    {
    public:
        virtual void socketConnected() = 0;
        virtual void socketReadyRead() = 0;
        // A close by the server comes as RemoteHostClosedError.
        virtual void socketError(QAbstractSocket::SocketError eError) = 0;

    protected:
        ~TListener() = default;
    };

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
    // Null while no request holds the connection.
    void setListener(TListener* pListener) { m_pListener = pListener; }

signals:
    // The socket said something while no request held the connection: a close,
    // an error or bytes nobody asked for.
    void heardWhileIdle();

private:
    void onReadyRead();
    void onError(QAbstractSocket::SocketError eError);

    QTcpSocket* m_pSocket;
    QString m_sHost;
    quint16 m_nPort;
    QString m_sKey;
    QByteArray m_aHostField;
    TListener* m_pListener = nullptr;
    bool m_bServed = false;
};

} // namespace shared
