#include "recordinghttpserver.h"

#include <QTcpSocket>

QByteArray TRecordedHttpRequest::header(const QByteArray& aName) const
{
    for (const auto& oHeader : m_lHeaders) {
        if (oHeader.first.compare(aName, Qt::CaseInsensitive) == 0)
            return oHeader.second;
    }
    return QByteArray();
}

TCannedHttpResponse TCannedHttpResponse::withBody(const QByteArray& aBody, int nStatus)
{
    TCannedHttpResponse oResponse;
    oResponse.m_nStatus = nStatus;
    oResponse.m_aBody = aBody;
    return oResponse;
}

TCannedHttpResponse TCannedHttpResponse::dropConnection()
{
    TCannedHttpResponse oResponse;
    oResponse.m_bDropConnection = true;
    return oResponse;
}

TRecordingHttpServer::TRecordingHttpServer(QObject* pParent)
    : QObject(pParent)
{
    m_oDefaultResponse.m_nStatus = 404;
    m_oDefaultResponse.m_aContentType = "text/plain";
    connect(&m_oServer, &QTcpServer::newConnection, this, &TRecordingHttpServer::onNewConnection);
}

TRecordingHttpServer::~TRecordingHttpServer()
{
    m_oServer.close();
}

bool TRecordingHttpServer::listen()
{
    return m_oServer.listen(QHostAddress::LocalHost, 0);
}

QUrl TRecordingHttpServer::url(const QString& sPath) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(sPath));
}

void TRecordingHttpServer::setResponse(const QString& sPath, const TCannedHttpResponse& oResponse)
{
    m_hResponses.insert(sPath, oResponse);
}

void TRecordingHttpServer::answerHeld(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_lHeld.size())
        return;
    const auto oHeld = m_lHeld.takeAt(nIndex);
    if (oHeld.first)
        answer(oHeld.first, oHeld.second);
}

void TRecordingHttpServer::onNewConnection()
{
    while (QTcpSocket* pSocket = m_oServer.nextPendingConnection()) {
        pSocket->setParent(this);
        m_hPending.insert(pSocket, QByteArray());
        connect(pSocket, &QTcpSocket::readyRead, this, [this, pSocket] { onReadyRead(pSocket); });
        connect(pSocket, &QTcpSocket::disconnected, this, [this, pSocket] {
            m_hPending.remove(pSocket);
            pSocket->deleteLater();
        });
    }
}

void TRecordingHttpServer::onReadyRead(QTcpSocket* pSocket)
{
    auto itPending = m_hPending.find(pSocket);
    if (itPending == m_hPending.end()) {
        pSocket->readAll();
        return;
    }
    QByteArray& aBuffer = itPending.value();
    aBuffer += pSocket->readAll();
    const int nHeaderEnd = aBuffer.indexOf("\r\n\r\n");
    if (nHeaderEnd < 0)
        return;

    TRecordedHttpRequest oRequest;
    const QList<QByteArray> lLines = aBuffer.left(nHeaderEnd).split('\n');
    const QList<QByteArray> lRequestLine = lLines.value(0).trimmed().split(' ');
    oRequest.m_aMethod = lRequestLine.value(0);
    oRequest.m_aTarget = lRequestLine.value(1);
    qint64 nContentLength = 0;
    for (int nLine = 1; nLine < lLines.size(); ++nLine) {
        const int nColon = lLines[nLine].indexOf(':');
        if (nColon <= 0)
            continue;
        const QByteArray aName = lLines[nLine].left(nColon).trimmed();
        const QByteArray aValue = lLines[nLine].mid(nColon + 1).trimmed();
        oRequest.m_lHeaders.append({aName, aValue});
        if (aName.compare("Content-Length", Qt::CaseInsensitive) == 0)
            nContentLength = aValue.toLongLong();
    }
    const qint64 nBodyStart = nHeaderEnd + 4;
    if (aBuffer.size() - nBodyStart < nContentLength)
        return;
    oRequest.m_aBody = aBuffer.mid(static_cast<int>(nBodyStart), static_cast<int>(nContentLength));
    // One request per connection: whatever follows is not read.
    m_hPending.erase(itPending);

    const QString sPath = QUrl(QString::fromLatin1(oRequest.m_aTarget)).path();
    const TCannedHttpResponse oResponse = m_hResponses.value(sPath, m_oDefaultResponse);
    m_lRequests.append(oRequest);
    if (m_bHoldResponses)
        m_lHeld.append({QPointer<QTcpSocket>(pSocket), oResponse});
    else
        answer(pSocket, oResponse);
}

void TRecordingHttpServer::answer(QTcpSocket* pSocket, const TCannedHttpResponse& oResponse)
{
    if (oResponse.m_bDropConnection) {
        pSocket->abort();
        return;
    }
    // Clients go by the code; the reason phrase is free text.
    QByteArray aAnswer = "HTTP/1.1 " + QByteArray::number(oResponse.m_nStatus) + " Canned\r\n";
    if (!oResponse.m_aContentType.isEmpty())
        aAnswer += "Content-Type: " + oResponse.m_aContentType + "\r\n";
    aAnswer += "Content-Length: " + QByteArray::number(oResponse.m_aBody.size()) + "\r\nConnection: close\r\n\r\n";
    aAnswer += oResponse.m_aBody;
    pSocket->write(aAnswer);
    pSocket->disconnectFromHost();
}
