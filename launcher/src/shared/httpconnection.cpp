#include "httpconnection.h"

#include <QTcpSocket>
#include <QUrl>

namespace shared {

THttpConnection::THttpConnection(const QString& sHost, quint16 nPort, QObject* pParent)
    : QObject(pParent), m_pSocket(new QTcpSocket(this)), m_sHost(sHost), m_nPort(nPort), m_sKey(key(sHost, nPort))
{
    connect(m_pSocket, &QTcpSocket::connected, this, [this] {
        if (m_pListener)
            m_pListener->socketConnected();
    });
    connect(m_pSocket, &QTcpSocket::readyRead, this, &THttpConnection::onReadyRead);
    connect(m_pSocket, &QTcpSocket::errorOccurred, this, &THttpConnection::onError);
    connect(m_pSocket, &QTcpSocket::disconnected, this, [this] { onError(QAbstractSocket::RemoteHostClosedError); });
}

void THttpConnection::onReadyRead()
{
    if (m_pListener)
        m_pListener->socketReadyRead();
    else
        emit heardWhileIdle();
}

void THttpConnection::onError(QAbstractSocket::SocketError eError)
{
    if (m_pListener)
        m_pListener->socketError(eError);
    else
        emit heardWhileIdle();
}

QString THttpConnection::key(const QString& sHost, quint16 nPort)
{
    return sHost + QLatin1Char(':') + QString::number(nPort);
}

const QByteArray& THttpConnection::hostField(const QUrl& oUrl)
{
    if (m_aHostField.isEmpty()) {
        m_aHostField = oUrl.host(QUrl::FullyEncoded).toLatin1();
        if (m_aHostField.contains(':'))
            m_aHostField = '[' + m_aHostField + ']';
        if (oUrl.port(80) != 80)
            m_aHostField += ':' + QByteArray::number(oUrl.port());
    }
    return m_aHostField;
}

void THttpConnection::open()
{
    if (m_pSocket->state() != QAbstractSocket::UnconnectedState)
        return;
    m_pSocket->connectToHost(m_sHost, m_nPort);
    // A request is one small write: sent at once, as the network layer does.
    m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

} // namespace shared
