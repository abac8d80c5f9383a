#include "faultyhttpconnection.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

constexpr qint64 kPieceBytes = 256 * 1024;
// More than this waiting in the socket's buffer and no further piece is read.
constexpr qint64 kHighWaterBytes = 1024 * 1024;
constexpr qint64 kOverLongBytes = 1024 * 1024;
constexpr qint64 kFlippedBytes = 16;

QByteArray reasonPhrase(int nStatus)
{
    switch (nStatus) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

// Not all zeros and not a repetition of anything the body might hold.
const QByteArray& garbage()
{
    static const QByteArray aGarbage = [] {
        QByteArray aBytes(static_cast<int>(kPieceBytes), Qt::Uninitialized);
        quint32 nState = 0x9e3779b9u;
        for (char& cByte : aBytes) {
            nState = nState * 1664525u + 1013904223u;
            cByte = static_cast<char>(nState >> 24);
        }
        return aBytes;
    }();
    return aGarbage;
}

QString requestPath(const QByteArray& aTarget)
{
    QString sPath = QUrl::fromEncoded(aTarget).path(QUrl::FullyDecoded);
    while (sPath.startsWith(QLatin1Char('/')))
        sPath.remove(0, 1);
    return sPath;
}

} // namespace

TFaultyHttpConnection::TFaultyHttpConnection(QTcpSocket* pSocket, const QString& sDocumentRoot,
                                             TTakeRequest fnTakeRequest, QObject* pParent)
    : QObject(pParent)
    , m_pSocket(pSocket)
    , m_sDocumentRoot(QDir(sDocumentRoot).absolutePath())
    , m_fnTakeRequest(std::move(fnTakeRequest))
{
    m_pSocket->setParent(this);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &TFaultyHttpConnection::onReadyRead);
    connect(m_pSocket, &QTcpSocket::bytesWritten, this, &TFaultyHttpConnection::onBytesWritten);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    if (m_pSocket->bytesAvailable() > 0)
        onReadyRead();
}

TFaultyHttpConnection::~TFaultyHttpConnection() = default;

void TFaultyHttpConnection::onReadyRead()
{
    const QByteArray aData = m_pSocket->readAll();
    // A stalled or closing connection takes no more requests.
    if (m_eEnding != EEnding::KeepAlive)
        return;
    m_aInput += aData;
    answerRequests();
}

void TFaultyHttpConnection::onBytesWritten()
{
    if (m_bAnswering)
        pump();
}

void TFaultyHttpConnection::answerRequests()
{
    while (!m_bAnswering && m_eEnding == EEnding::KeepAlive) {
        const int nHeaderEnd = m_aInput.indexOf("\r\n\r\n");
        if (nHeaderEnd < 0)
            return;
        const QList<QByteArray> lLines = m_aInput.left(nHeaderEnd).split('\n');
        const QList<QByteArray> lRequestLine = lLines.value(0).trimmed().split(' ');
        const QByteArray aMethod = lRequestLine.value(0);
        const QByteArray aTarget = lRequestLine.value(1);
        const QByteArray aVersion = lRequestLine.value(2);
        bool bKeepAlive = aVersion != "HTTP/1.0";
        qint64 nContentLength = 0;
        for (int nLine = 1; nLine < lLines.size(); ++nLine) {
            const int nColon = lLines[nLine].indexOf(':');
            if (nColon <= 0)
                continue;
            const QByteArray aName = lLines[nLine].left(nColon).trimmed().toLower();
            const QByteArray aValue = lLines[nLine].mid(nColon + 1).trimmed().toLower();
            if (aName == "content-length")
                nContentLength = aValue.toLongLong();
            else if (aName == "connection")
                bKeepAlive = aValue.contains("keep-alive") || (bKeepAlive && !aValue.contains("close"));
        }
        const qint64 nRequestEnd = nHeaderEnd + 4 + nContentLength;
        if (m_aInput.size() < nRequestEnd)
            return;
        m_aInput.remove(0, static_cast<int>(nRequestEnd));
        answer(aMethod, aTarget, bKeepAlive);
    }
}

void TFaultyHttpConnection::answer(const QByteArray& aMethod, const QByteArray& aTarget, bool bKeepAlive)
{
    if (aMethod != "GET") {
        sendText(405, "only GET\n", bKeepAlive);
        return;
    }
    const QString sPath = requestPath(aTarget);
    const EHttpFault eFault = m_fnTakeRequest(sPath);
    if (eFault == EHttpFault::NotFound) {
        sendText(404, "not found (fault)\n", bKeepAlive);
        return;
    }
    if (eFault == EHttpFault::ServerError) {
        sendText(500, "server error (fault)\n", bKeepAlive);
        return;
    }
    const QString sCleanPath = QDir::cleanPath(sPath);
    const QString sFile = m_sDocumentRoot + QLatin1Char('/') + sCleanPath;
    m_oFile.close();
    m_oFile.setFileName(sFile);
    if (sCleanPath == QLatin1String("..") || sCleanPath.startsWith(QLatin1String("../")) || !QFileInfo(sFile).isFile()
        || !m_oFile.open(QIODevice::ReadOnly)) {
        sendText(404, "not found\n", bKeepAlive);
        return;
    }

    const qint64 nSize = m_oFile.size();
    qint64 nContentLength = nSize;
    m_nFileOffset = 0;
    m_nFileLeft = nSize;
    m_nFlipBegin = m_nFlipEnd = 0;
    m_nGarbageLeft = 0;
    m_eEnding = bKeepAlive ? EEnding::KeepAlive : EEnding::Close;
    switch (eFault) {
    case EHttpFault::ResetMidway:
        m_nFileLeft = nSize / 2;
        m_eEnding = EEnding::Reset;
        break;
    case EHttpFault::Truncate:
        m_nFileLeft = nSize / 2;
        m_eEnding = EEnding::Close;
        break;
    case EHttpFault::Stall:
        m_nFileLeft = nSize / 2;
        m_eEnding = EEnding::Stall;
        break;
    case EHttpFault::WrongBytes:
        m_nFlipBegin = nSize / 2;
        m_nFlipEnd = qMin(nSize, m_nFlipBegin + kFlippedBytes);
        break;
    case EHttpFault::OverLong:
        m_nGarbageLeft = kOverLongBytes;
        nContentLength += kOverLongBytes;
        break;
    default:
        break;
    }
    sendHead(200, nContentLength, m_eEnding == EEnding::KeepAlive);
    m_bAnswering = true;
    pump();
}

void TFaultyHttpConnection::sendHead(int nStatus, qint64 nContentLength, bool bKeepAlive)
{
    QByteArray aHead = "HTTP/1.1 " + QByteArray::number(nStatus) + ' ' + reasonPhrase(nStatus) + "\r\n";
    aHead += nStatus == 200 ? "Content-Type: application/octet-stream\r\n" : "Content-Type: text/plain\r\n";
    aHead += "Content-Length: " + QByteArray::number(nContentLength) + "\r\n";
    aHead += bKeepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    m_pSocket->write(aHead);
}

void TFaultyHttpConnection::sendText(int nStatus, const QByteArray& aText, bool bKeepAlive)
{
    sendHead(nStatus, aText.size(), bKeepAlive);
    m_pSocket->write(aText);
    m_eEnding = bKeepAlive ? EEnding::KeepAlive : EEnding::Close;
    m_nFileLeft = 0;
    m_nGarbageLeft = 0;
    m_bAnswering = true;
    finishAnswer();
}

void TFaultyHttpConnection::pump()
{
    while (m_pSocket->bytesToWrite() < kHighWaterBytes && (m_nFileLeft > 0 || m_nGarbageLeft > 0)) {
        if (m_nFileLeft > 0) {
            QByteArray aPiece = m_oFile.read(qMin(kPieceBytes, m_nFileLeft));
            if (aPiece.isEmpty()) {
                // The file shrank under us: what was announced can no longer be kept.
                m_eEnding = EEnding::Close;
                m_nFileLeft = 0;
                m_nGarbageLeft = 0;
                break;
            }
            const qint64 nPieceEnd = m_nFileOffset + aPiece.size();
            for (qint64 nOffset = qMax(m_nFlipBegin, m_nFileOffset); nOffset < qMin(m_nFlipEnd, nPieceEnd); ++nOffset)
                aPiece[static_cast<int>(nOffset - m_nFileOffset)] = static_cast<char>(~aPiece[static_cast<int>(nOffset - m_nFileOffset)]);
            m_nFileOffset = nPieceEnd;
            m_nFileLeft -= aPiece.size();
            m_pSocket->write(aPiece);
        } else {
            const qint64 nBytes = qMin(m_nGarbageLeft, static_cast<qint64>(garbage().size()));
            m_pSocket->write(garbage().constData(), nBytes);
            m_nGarbageLeft -= nBytes;
        }
    }
    if (m_nFileLeft == 0 && m_nGarbageLeft == 0)
        finishAnswer();
}

void TFaultyHttpConnection::finishAnswer()
{
    if (!m_bAnswering)
        return;
    m_bAnswering = false;
    m_oFile.close();
    switch (m_eEnding) {
    case EEnding::KeepAlive:
        // Pipelined requests may already be waiting; answer them outside this call chain.
        if (!m_aInput.isEmpty())
            QTimer::singleShot(0, this, &TFaultyHttpConnection::answerRequests);
        break;
    case EEnding::Close:
        m_pSocket->disconnectFromHost();
        break;
    case EEnding::Reset:
        resetWhenSent();
        break;
    case EEnding::Stall:
        break;
    }
}

void TFaultyHttpConnection::resetWhenSent()
{
    if (m_pSocket->state() != QAbstractSocket::ConnectedState)
        return;
    int nUnsent = 0;
    if (m_pSocket->bytesToWrite() > 0 || ::ioctl(static_cast<int>(m_pSocket->socketDescriptor()), SIOCOUTQ, &nUnsent) != 0
        || nUnsent > 0) {
        // Polled on the server's own thread: the peer may be slow to read.
        QTimer::singleShot(1, this, &TFaultyHttpConnection::resetWhenSent);
        return;
    }
    // Lingering for zero seconds turns the close into a reset (RST) instead of a FIN.
    const struct linger oLinger = {1, 0};
    ::setsockopt(static_cast<int>(m_pSocket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &oLinger, sizeof(oLinger));
    m_pSocket->abort();
}
