#include "httpconnection.h"

#include <QTcpSocket>

namespace shared {

THttpConnection::THttpConnection(const QString& sHost, quint16 nPort, QObject* pParent)
    : QObject(pParent), m_pSocket(new QTcpSocket(this)), m_sHost(sHost), m_nPort(nPort)
{
}

QString THttpConnection::key(const QString& sHost, quint16 nPort)
{
    return sHost + QLatin1Char(':') + QString::number(nPort);
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
