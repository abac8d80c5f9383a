#include "testhttpserver.h"

#include "noisebytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

QString withoutLeadingSlash(QString sPath)
{
    while (sPath.startsWith(QLatin1Char('/')))
        sPath.remove(0, 1);
    return sPath;
}

} // namespace

// One connection, living on the server's thread: it answers one request, then
// closes, so that no answer depends on the state an earlier one left behind.
class TTestHttpConnection : public QObject
{
public:
    TTestHttpConnection(QTcpSocket* pSocket, TTestHttpServer* pServer, QObject* pParent)
        : QObject(pParent), m_pSocket(pSocket), m_pServer(pServer)
    {
        m_pSocket->setParent(this);
        connect(m_pSocket, &QTcpSocket::readyRead, this, &TTestHttpConnection::takeRequest);
        connect(m_pSocket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        takeRequest();
    }

    void answerCanned(const TCannedHttpResponse& oResponse)
    {
        sendHead(oResponse.m_nStatus, oResponse.m_aBody.size());
        m_pSocket->write(oResponse.m_aBody);
        m_pSocket->disconnectFromHost();
    }

private:
    void takeRequest()
    {
        m_aInput += m_pSocket->readAll();
        const int nHeaderEnd = m_aInput.indexOf("\r\n\r\n");
        if (m_bAnswering || nHeaderEnd < 0)
            return;
        TRecordedHttpRequest oRequest;
        const int nLineEnd = m_aInput.indexOf("\r\n");
        const QList<QByteArray> lRequestLine = m_aInput.left(nLineEnd).split(' ');
        oRequest.m_aMethod = lRequestLine.value(0);
        oRequest.m_aTarget = lRequestLine.value(1);
        oRequest.m_aHeaders = m_aInput.mid(nLineEnd + 2, nHeaderEnd - nLineEnd);
        int nContentLength = 0;
        for (const QByteArray& aLine : oRequest.m_aHeaders.toLower().split('\n')) {
            if (aLine.startsWith("content-length:"))
                nContentLength = aLine.mid(15).trimmed().toInt();
        }
        if (m_aInput.size() < nHeaderEnd + 4 + nContentLength)
            return;
        oRequest.m_aBody = m_aInput.mid(nHeaderEnd + 4, nContentLength);
        m_bAnswering = true;
        answer(oRequest);
    }

    void answer(const TRecordedHttpRequest& oRequest)
    {
        EHttpFault eFault = EHttpFault::None;
        std::optional<TCannedHttpResponse> oCanned;
        if (!m_pServer->takeRequest(this, oRequest, eFault, oCanned))
            return;
        if (eFault == EHttpFault::NotFound || eFault == EHttpFault::ServerError || eFault == EHttpFault::Unavailable)
            oCanned = TCannedHttpResponse::withBody(
                "fault\n", eFault == EHttpFault::NotFound ? 404 : eFault == EHttpFault::ServerError ? 500 : 503);
        if (oCanned) {
            answerCanned(*oCanned);
            return;
        }
        QFile oFile(m_pServer->m_sDocumentRoot + QLatin1Char('/') + oRequest.path());
        QByteArray aBody = oFile.open(QIODevice::ReadOnly) ? oFile.readAll() : QByteArray();
        int nStatus = 200;
        QByteArray aContentRange;
        const qint64 nFrom = rangeStart(oRequest.m_aHeaders);
        if (nFrom >= 0 && eFault != EHttpFault::IgnoreRange) {
            const QByteArray aSize = QByteArray::number(aBody.size());
            if (eFault == EHttpFault::RangeNotSatisfiable || nFrom >= aBody.size()) {
                sendHead(416, 0, "Content-Range: bytes */" + aSize + "\r\n");
                m_pSocket->disconnectFromHost();
                return;
            }
            const qint64 nStart = eFault == EHttpFault::WrongRange ? 0 : nFrom;
            aBody = aBody.mid(int(nStart));
            nStatus = 206;
            aContentRange = "Content-Range: bytes " + QByteArray::number(nStart) + '-' + QByteArray::number(nStart + aBody.size() - 1)
                            + '/' + aSize + "\r\n";
        }
        qint64 nContentLength = aBody.size();
        if (eFault == EHttpFault::WrongBytes) {
            for (int nOffset = aBody.size() / 2; nOffset < qMin(aBody.size(), aBody.size() / 2 + 16); ++nOffset)
                aBody[nOffset] = static_cast<char>(~aBody[nOffset]);
        } else if (eFault == EHttpFault::OverLong) {
            aBody += noiseBytes(1 << 20, 7);
            nContentLength = aBody.size();
        } else if (eFault == EHttpFault::Drip) {
            sendHead(nStatus, nContentLength, aContentRange);
            drip(aBody);
            return;
        } else if (eFault == EHttpFault::ResetMidway || eFault == EHttpFault::Truncate || eFault == EHttpFault::Stall) {
            aBody.truncate(aBody.size() / 2);
        }
        sendHead(nStatus, nContentLength, aContentRange);
        m_pSocket->write(aBody);
        if (eFault == EHttpFault::ResetMidway)
            resetWhenSent();
        else if (eFault != EHttpFault::Stall)
            m_pSocket->disconnectFromHost();
    }

    void sendHead(int nStatus, qint64 nContentLength, const QByteArray& aMoreLines = QByteArray())
    {
        // Clients go by the code; the reason phrase is free text.
        m_pSocket->write("HTTP/1.1 " + QByteArray::number(nStatus) + " Test\r\nContent-Length: "
                         + QByteArray::number(nContentLength) + "\r\n" + aMoreLines + "Connection: close\r\n\r\n");
    }

    // N of a "Range: bytes=N-" line among the header lines; -1 without one.
    static qint64 rangeStart(const QByteArray& aHeaders)
    {
        for (const QByteArray& aLine : aHeaders.split('\n')) {
            const QByteArray aValue = aLine.trimmed();
            bool bNumber = false;
            const qint64 nStart = aValue.mid(13, aValue.size() - 14).toLongLong(&bNumber);
            if (aValue.toLower().startsWith("range: bytes=") && aValue.endsWith('-') && bNumber)
                return nStart;
        }
        return -1;
    }

    // Never silent for a second, yet far too slow to finish a chunk; ends with the connection.
    void drip(const QByteArray& aBody)
    {
        auto* pTimer = new QTimer(this);
        connect(pTimer, &QTimer::timeout, this, [this, pTimer, aBody, nSent = 0]() mutable {
            if (nSent == aBody.size()) {
                pTimer->stop();
                m_pSocket->disconnectFromHost();
                return;
            }
            m_pSocket->write(aBody.mid(nSent++, 1));
        });
        pTimer->start(200);
    }

    // A reset drops whatever the kernel still holds to send: wait until it is out.
    void resetWhenSent()
    {
        if (m_pSocket->state() != QAbstractSocket::ConnectedState)
            return;
        const int nSocket = static_cast<int>(m_pSocket->socketDescriptor());
        int nUnsent = 0;
        if (m_pSocket->bytesToWrite() > 0 || ::ioctl(nSocket, SIOCOUTQ, &nUnsent) != 0 || nUnsent > 0) {
            m_pSocket->flush();
            QTimer::singleShot(1, this, [this] { resetWhenSent(); });
            return;
        }
        // Lingering for zero seconds turns the close into a reset (RST) instead of a FIN.
        const struct linger oLinger = {1, 0};
        ::setsockopt(nSocket, SOL_SOCKET, SO_LINGER, &oLinger, sizeof(oLinger));
        m_pSocket->abort();
    }

    QTcpSocket* m_pSocket;
    TTestHttpServer* m_pServer;
    QByteArray m_aInput;
    bool m_bAnswering = false;
};

QString TRecordedHttpRequest::path() const
{
    return withoutLeadingSlash(QUrl::fromEncoded(m_aTarget).path(QUrl::FullyDecoded));
}

QByteArray TRecordedHttpRequest::header(const QByteArray& aName) const
{
    const QByteArray aPrefix = aName.toLower() + ':';
    for (const QByteArray& aLine : m_aHeaders.split('\n')) {
        if (aLine.toLower().startsWith(aPrefix))
            return aLine.mid(aPrefix.size()).trimmed();
    }
    return QByteArray();
}

TTestHttpServer::TTestHttpServer()
    : m_pContext(new QObject)
{
    m_oThread.setObjectName(QStringLiteral("TTestHttpServer"));
    m_pContext->moveToThread(&m_oThread);
}

TTestHttpServer::~TTestHttpServer()
{
    if (m_oThread.isRunning()) {
        // Sockets must die on the thread that owns their notifiers.
        // A copy of the list: every deletion takes the child out of the original.
        QMetaObject::invokeMethod(m_pContext, [this] { qDeleteAll(QObjectList(m_pContext->children())); },
                                  Qt::BlockingQueuedConnection);
        m_oThread.quit();
        m_oThread.wait();
    }
    delete m_pContext;
}

bool TTestHttpServer::start(const QString& sDocumentRoot)
{
    m_sDocumentRoot = sDocumentRoot.isEmpty() ? QString() : QDir(sDocumentRoot).absolutePath();
    m_oThread.start();
    quint16 nPort = 0;
    QMetaObject::invokeMethod(m_pContext, [this, &nPort] {
        auto* pServer = new QTcpServer(m_pContext);
        if (!pServer->listen(QHostAddress::LocalHost, 0))
            return;
        nPort = pServer->serverPort();
        connect(pServer, &QTcpServer::newConnection, pServer, [this, pServer] {
            while (QTcpSocket* pSocket = pServer->nextPendingConnection())
                new TTestHttpConnection(pSocket, this, m_pContext);
        });
    }, Qt::BlockingQueuedConnection);
    QMutexLocker oLock(&m_oMutex);
    m_nPort = nPort;
    return nPort != 0;
}

quint16 TTestHttpServer::port() const
{
    QMutexLocker oLock(&m_oMutex);
    return m_nPort;
}

QUrl TTestHttpServer::url(const QString& sPath) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(port()).arg(withoutLeadingSlash(sPath)));
}

void TTestHttpServer::setResponse(const QString& sPath, const TCannedHttpResponse& oResponse)
{
    QMutexLocker oLock(&m_oMutex);
    m_hResponses.insert(withoutLeadingSlash(sPath), oResponse);
}

void TTestHttpServer::setDefaultResponse(const TCannedHttpResponse& oResponse)
{
    QMutexLocker oLock(&m_oMutex);
    m_oDefaultResponse = oResponse;
}

void TTestHttpServer::setFaultForPrefix(const QString& sPrefix, EHttpFault eFault, int nTimes)
{
    QMutexLocker oLock(&m_oMutex);
    QList<EHttpFault> lFaults;
    for (int nTime = 0; nTime < (nTimes < 0 ? 1 : nTimes); ++nTime)
        lFaults << eFault;
    m_hPrefixFaults.insert(withoutLeadingSlash(sPrefix), qMakePair(lFaults, nTimes < 0));
    m_hFaultsUsed.clear();
}

void TTestHttpServer::setFaultsForPrefix(const QString& sPrefix, const QList<EHttpFault>& lFaults)
{
    QMutexLocker oLock(&m_oMutex);
    m_hPrefixFaults.insert(withoutLeadingSlash(sPrefix), qMakePair(lFaults, false));
    m_hFaultsUsed.clear();
}

void TTestHttpServer::setHoldResponses(bool bHold)
{
    QMutexLocker oLock(&m_oMutex);
    m_bHoldResponses = bHold;
}

int TTestHttpServer::heldCount() const
{
    QMutexLocker oLock(&m_oMutex);
    return m_lHeld.size();
}

void TTestHttpServer::answerHeld(int nIndex)
{
    QMutexLocker oLock(&m_oMutex);
    if (nIndex < 0 || nIndex >= m_lHeld.size())
        return;
    const auto oHeld = m_lHeld.takeAt(nIndex);
    QMetaObject::invokeMethod(m_pContext, [oHeld] {
        if (oHeld.first)
            oHeld.first->answerCanned(oHeld.second);
    });
}

QList<TRecordedHttpRequest> TTestHttpServer::requests() const
{
    QMutexLocker oLock(&m_oMutex);
    return m_lRequests;
}

bool TTestHttpServer::takeRequest(TTestHttpConnection* pConnection, const TRecordedHttpRequest& oRequest,
                                  EHttpFault& eFault, std::optional<TCannedHttpResponse>& oCanned)
{
    QMutexLocker oLock(&m_oMutex);
    m_lRequests.append(oRequest);
    const QString sPath = oRequest.path();
    const TCannedHttpResponse oResponse = m_hResponses.value(sPath, m_oDefaultResponse);
    if (m_bHoldResponses) {
        m_lHeld.append({QPointer<TTestHttpConnection>(pConnection), oResponse});
        return false;
    }
    QString sLongest;
    for (auto it = m_hPrefixFaults.cbegin(); it != m_hPrefixFaults.cend(); ++it) {
        if (sPath.startsWith(it.key()) && (sLongest.isNull() || it.key().size() > sLongest.size()))
            sLongest = it.key();
    }
    const QPair<QList<EHttpFault>, bool> oRule = m_hPrefixFaults.value(sLongest);
    const int nUsed = m_hFaultsUsed.value(sPath);
    if (nUsed < oRule.first.size() || (oRule.second && !oRule.first.isEmpty())) {
        ++m_hFaultsUsed[sPath];
        eFault = oRule.first.at(std::min(nUsed, oRule.first.size() - 1));
    }
    const bool bFile = oRequest.m_aMethod == "GET" && !m_sDocumentRoot.isEmpty()
                       && !sPath.split(QLatin1Char('/')).contains(QStringLiteral(".."))
                       && QFileInfo(m_sDocumentRoot + QLatin1Char('/') + sPath).isFile();
    if (m_hResponses.contains(sPath) || !bFile)
        oCanned = oResponse;
    return true;
}
