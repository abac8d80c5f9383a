#include "httpreply.h"

#include "httpconnection.h"
#include "httpconnectionpool.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QTcpSocket>
#include <QTimerEvent>

#include <cstring>

namespace shared {

namespace {

// The network layer reports progress no oftener while data streams in.
constexpr qint64 kProgressInterval = 100;
// A socket buffer smaller than this would only add system calls.
constexpr qint64 kSmallestSocketBuffer = 64 * 1024;

// The network layer's error for an HTTP error status.
QNetworkReply::NetworkError errorForStatus(int nStatus)
{
    switch (nStatus) {
    case 400: return QNetworkReply::ProtocolInvalidOperationError;
    case 401: return QNetworkReply::AuthenticationRequiredError;
    case 403: return QNetworkReply::ContentAccessDenied;
    case 404: return QNetworkReply::ContentNotFoundError;
    case 405: return QNetworkReply::ContentOperationNotPermittedError;
    case 407: return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409: return QNetworkReply::ContentConflictError;
    case 410: return QNetworkReply::ContentGoneError;
    case 418: return QNetworkReply::ProtocolInvalidOperationError;
    case 500: return QNetworkReply::InternalServerError;
    case 501: return QNetworkReply::OperationNotImplementedError;
    case 503: return QNetworkReply::ServiceUnavailableError;
    default: return nStatus > 500 ? QNetworkReply::UnknownServerError : QNetworkReply::UnknownContentError;
    }
}

// Answers whose handling the network layer has and this reply does not.
bool isForManager(int nStatus)
{
    switch (nStatus) {
    case 101: case 301: case 302: case 303: case 305: case 307: case 308: case 401: case 407: return true;
    default: return false;
    }
}

} // namespace

THttpReply::THttpReply(const QNetworkRequest& oRequest, QNetworkAccessManager* pManager, EHeadFields eHeadFields)
    : QNetworkReply(pManager), m_pManager(pManager), m_eHeadFields(eHeadFields), m_pPool(THttpConnectionPool::of(pManager))
{
    setRequest(oRequest);
    setUrl(oRequest.url());
    setOperation(QNetworkAccessManager::GetOperation);
    QNetworkReply::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // As the network layer: the time-out runs from the request on, waiting for a connection included.
    const int nTimeout = oRequest.transferTimeout() > 0 ? oRequest.transferTimeout() : pManager->transferTimeout();
    if (nTimeout > 0) {
        m_nTransferTimeout = nTimeout;
        m_oSinceArrival.start();
        m_oTransferTimer.start(nTimeout, this);
    }
    m_oProgressChoke.start();
    const QUrl oUrl = oRequest.url();
    m_pPool->acquire(oUrl.host(), quint16(oUrl.port(80)), false, this, [this](THttpConnection* p) { start(p); });
}

THttpReply::~THttpReply()
{
    if (m_pObserver)
        m_pObserver->replyGone();
    // A connection with part of an answer on it is of no use to the next request.
    giveBack(false);
    if (m_pFallback)
        m_pFallback->deleteLater();
}

bool THttpReply::takes(const QNetworkRequest& oRequest, QNetworkAccessManager* pManager)
{
    const QUrl oUrl = oRequest.url();
    if (oUrl.scheme() != QLatin1String("http") || oUrl.host().isEmpty() || !oUrl.userInfo().isEmpty() || pManager->cache())
        return false;
    // Asked as the manager asks, so that http_proxy and no_proxy keep their meaning.
    const QNetworkProxyQuery oQuery(oUrl);
    QList<QNetworkProxy> lProxies;
    if (pManager->proxyFactory())
        lProxies = pManager->proxyFactory()->queryProxy(oQuery);
    else if (pManager->proxy().type() != QNetworkProxy::DefaultProxy)
        lProxies = {pManager->proxy()};
    else
        lProxies = QNetworkProxyFactory::proxyForQuery(oQuery);
    return lProxies.isEmpty() || lProxies.first().type() == QNetworkProxy::NoProxy;
}

void THttpReply::start(THttpConnection* pConnection)
{
    // Aborted or timed out while it waited for a connection: the connection is untouched.
    if (m_bDone) {
        if (m_pPool)
            m_pPool->release(pConnection, true);
        return;
    }
    m_pConnection = pConnection;
    pConnection->setListener(this);
    QTcpSocket* pSocket = pConnection->socket();
    if (readBufferSize() > 0)
        pSocket->setReadBufferSize(qMax(readBufferSize(), kSmallestSocketBuffer));
    if (pSocket->state() == QAbstractSocket::ConnectedState)
        sendRequest();
    else
        pConnection->open();
}

void THttpReply::sendRequest()
{
    const QUrl oUrl = request().url();
    // Formed as the network layer forms it: "/a/../b" is sent as "/b".
    QUrl::FormattingOptions eFormat = QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment | QUrl::FullyEncoded;
    if (!oUrl.path().isEmpty())
        eFormat |= QUrl::NormalizePathSegments;
    const QByteArray aTarget = oUrl.toEncoded(eFormat);
    // Built in one buffer: a request per small chunk, each piece its own
    // allocation otherwise.
    QByteArray aRequest;
    aRequest.reserve(aTarget.size() + 128);
    aRequest += "GET ";
    if (aTarget.isEmpty() || aTarget.startsWith('?'))
        aRequest += '/';
    aRequest += aTarget;
    aRequest += " HTTP/1.1\r\nHost: ";
    aRequest += m_pConnection->hostField(oUrl);
    aRequest += "\r\n";
    // No Accept-Encoding: the chunks are packed already, and an unpacked body
    // would not have the size the answer announces.
    for (const QByteArray& aName : request().rawHeaderList()) {
        if (aName.compare("Host", Qt::CaseInsensitive) != 0 && aName.compare("Connection", Qt::CaseInsensitive) != 0)
            aRequest += aName + ": " + request().rawHeader(aName) + "\r\n";
    }
    if (!request().hasRawHeader("User-Agent"))
        aRequest += "User-Agent: Mozilla/5.0\r\n";
    aRequest += "Connection: Keep-Alive\r\n\r\n";
    m_pConnection->socket()->write(aRequest);
}

void THttpReply::receive()
{
    m_bReceiveQueued = false;
    if (m_bDone || !m_pConnection)
        return;
    QTcpSocket* pSocket = m_pConnection->socket();
    const qint64 nBefore = m_nReceived;
    while (pSocket->bytesAvailable() > 0 && (m_oParser.state() == THttpResponseParser::EState::Head
                                             || m_oParser.state() == THttpResponseParser::EState::Body)) {
        // Past a full read buffer the bytes stay in the socket, and the server is held back.
        const qint64 nRoom = readBufferSize() > 0 ? readBufferSize() - unread() : pSocket->bytesAvailable();
        if (nRoom <= 0)
            break;
        QByteArray aRead = pSocket->read(qMin(nRoom, pSocket->bytesAvailable()));
        // Taken over, not shared, when nothing is left over from the last read:
        // the parser then moves a head out of the way without a copy.
        if (m_aInput.isEmpty())
            m_aInput.swap(aRead);
        else
            m_aInput += aRead;
        m_bAnswerBegun = true;
        if (m_oTransferTimer.isActive())
            m_oSinceArrival.restart();
        const int nHeld = m_aBody.size();
        m_oParser.feed(m_aInput, m_aBody);
        m_nReceived += m_aBody.size() - nHeld;
        if (!m_bHeadTaken && m_oParser.hasHead() && m_oParser.state() != THttpResponseParser::EState::Failed && !takeHead())
            return;
    }
    if (m_oParser.state() == THttpResponseParser::EState::Failed) {
        qInfo() << "The answer to" << request().url() << "is malformed:" << m_oParser.errorText();
        giveBack(false);
        finish(ProtocolFailure, QStringLiteral("Data corrupted"));
        return;
    }
    if (m_nReceived > nBefore) {
        const QPointer<THttpReply> pSelf(this);
        announceReadyRead();
        if (!pSelf || m_bDone)
            return;
        if (m_oProgressChoke.elapsed() >= kProgressInterval) {
            m_oProgressChoke.restart();
            announceProgress(m_nReceived, totalSize());
            if (!pSelf || m_bDone)
                return;
        }
    }
    if (m_oParser.state() == THttpResponseParser::EState::Done)
        complete();
    else if (m_bInputClosed && pSocket->bytesAvailable() == 0)
        endOfInput();
}

void THttpReply::socketError(QAbstractSocket::SocketError eError)
{
    if (m_bDone || !m_pConnection)
        return;
    QTcpSocket* pSocket = m_pConnection->socket();
    if (eError != QAbstractSocket::RemoteHostClosedError) {
        const QString sSocketError = pSocket->errorString();
        giveBack(false);
        if (eError == QAbstractSocket::ConnectionRefusedError)
            finish(ConnectionRefusedError, QStringLiteral("Connection refused"));
        else if (eError == QAbstractSocket::HostNotFoundError)
            finish(HostNotFoundError, QStringLiteral("Host %1 not found").arg(request().url().host()));
        else if (eError == QAbstractSocket::SocketTimeoutError)
            finish(TimeoutError, QStringLiteral("Socket operation timed out"));
        else
            finish(UnknownNetworkError, sSocketError);
        return;
    }
    // What came before the close is still read as the read buffer has room; the
    // close counts once the socket holds nothing more.
    m_bInputClosed = true;
    receive();
}

void THttpReply::endOfInput()
{
    // The server dropped a connection it had kept, before it took the request:
    // a GET may be sent again.
    if (!m_bAnswerBegun && m_pConnection->hasServed() && !m_bRetried && m_pPool) {
        m_bRetried = true;
        m_bInputClosed = false;
        giveBack(false);
        const QUrl oUrl = request().url();
        m_pPool->acquire(oUrl.host(), quint16(oUrl.port(80)), true, this, [this](THttpConnection* p) { start(p); });
        return;
    }
    if (m_oParser.closeInput() == THttpResponseParser::EState::Done) {
        complete();
        return;
    }
    giveBack(false);
    finish(RemoteHostClosedError, QStringLiteral("Connection closed"));
}

bool THttpReply::takeHead()
{
    m_bHeadTaken = true;
    const int nStatus = m_oParser.statusCode();
    if (isForManager(nStatus)) {
        fallBack();
        return false;
    }
    if (m_eHeadFields == EHeadFields::Published) {
        for (const auto& oField : m_oParser.joinedFields())
            setRawHeader(oField.first, oField.second);
    }
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, nStatus);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute, QString::fromLatin1(m_oParser.reasonPhrase()));
    const QPointer<THttpReply> pSelf(this);
    announceMetaDataChanged();
    return pSelf && !m_bDone;
}

void THttpReply::fallBack()
{
    giveBack(false);
    // The manager's reply keeps its own time-out.
    m_oTransferTimer.stop();
    QNetworkReply* pFallback = m_pManager->get(request());
    m_pFallback = pFallback;
    pFallback->setReadBufferSize(readBufferSize());
    connect(pFallback, &QNetworkReply::metaDataChanged, this, [this] {
        copyFallbackHead();
        announceMetaDataChanged();
    });
    connect(pFallback, &QNetworkReply::readyRead, this, &THttpReply::announceReadyRead);
    connect(pFallback, &QNetworkReply::downloadProgress, this, &THttpReply::announceProgress);
    connect(pFallback, &QNetworkReply::redirected, this, &QNetworkReply::redirected);
    connect(pFallback, &QNetworkReply::errorOccurred, this, [this](NetworkError eError) {
        setError(eError, m_pFallback->errorString());
        announceError(eError);
    });
    connect(pFallback, &QNetworkReply::finished, this, [this] {
        copyFallbackHead();
        m_bDone = true;
        setFinished(true);
        announceFinished();
    });
}

void THttpReply::copyFallbackHead()
{
    // A null value takes a field out: the head of an earlier answer in a redirect chain goes.
    for (const QByteArray& aName : rawHeaderList())
        setRawHeader(aName, QByteArray());
    for (const auto& oField : m_pFallback->rawHeaderPairs())
        setRawHeader(oField.first, oField.second);
    for (const auto eAttribute : {QNetworkRequest::HttpStatusCodeAttribute, QNetworkRequest::HttpReasonPhraseAttribute,
                                  QNetworkRequest::RedirectionTargetAttribute})
        setAttribute(eAttribute, m_pFallback->attribute(eAttribute));
    setUrl(m_pFallback->url());
}

void THttpReply::complete()
{
    // Bytes past the announced end belong to no request: the answer is taken as
    // announced, as the network layer takes it, but the connection goes, or they
    // would be read as the next request's answer.
    const bool bStray = !m_aInput.isEmpty() || m_pConnection->socket()->bytesAvailable() > 0;
    if (bStray)
        qInfo() << "The server sent more than it announced for" << request().url();
    m_pConnection->setServed();
    giveBack(m_oParser.keepsAlive() && !bStray);
    const int nStatus = m_oParser.statusCode();
    if (nStatus >= 400)
        finish(errorForStatus(nStatus), QStringLiteral("Error transferring %1 - server replied: %2")
                                            .arg(request().url().toString(), QString::fromLatin1(m_oParser.reasonPhrase())));
    else
        finish(NoError, QString());
}

void THttpReply::giveBack(bool bReusable)
{
    THttpConnection* pConnection = m_pConnection;
    m_pConnection = nullptr;
    if (!pConnection)
        return;
    pConnection->setListener(nullptr);
    if (m_pPool)
        m_pPool->release(pConnection, bReusable);
}

void THttpReply::finish(NetworkError eError, const QString& sText)
{
    if (m_bDone)
        return;
    m_bDone = true;
    m_oTransferTimer.stop();
    const QPointer<THttpReply> pSelf(this);
    if (eError != NoError) {
        setError(eError, sText);
        announceError(eError);
        if (!pSelf)
            return;
    }
    setFinished(true);
    announceProgress(m_nReceived, totalSize() >= 0 ? totalSize() : m_nReceived);
    if (!pSelf)
        return;
    announceFinished();
}

void THttpReply::announceMetaDataChanged()
{
    if (tellObserver(&TObserver::replyMetaDataChanged))
        emit metaDataChanged();
}

void THttpReply::announceReadyRead()
{
    if (tellObserver(&TObserver::replyReadyRead))
        emit readyRead();
}

void THttpReply::announceProgress(qint64 nReceived, qint64 nTotal)
{
    if (tellObserver(&TObserver::replyProgress, nReceived))
        emit downloadProgress(nReceived, nTotal);
}

void THttpReply::announceError(NetworkError eError)
{
    if (tellObserver(&TObserver::replyError, eError))
        emit errorOccurred(eError);
}

void THttpReply::announceFinished()
{
    if (tellObserver(&TObserver::replyFinished))
        emit finished();
}

void THttpReply::timerEvent(QTimerEvent* pEvent)
{
    if (pEvent->timerId() != m_oTransferTimer.timerId()) {
        QNetworkReply::timerEvent(pEvent);
        return;
    }
    const qint64 nLeft = m_nTransferTimeout - m_oSinceArrival.elapsed();
    if (nLeft > 0)
        m_oTransferTimer.start(int(nLeft), this);
    else
        abort();
}

QByteArray THttpReply::field(const QByteArray& aName) const
{
    // After a fall-back the head is the manager's reply's, copied onto this one.
    if (m_pFallback)
        return rawHeader(aName);
    return m_bHeadTaken ? m_oParser.field(aName.constData()) : QByteArray();
}

void THttpReply::abort()
{
    if (m_bDone)
        return;
    if (m_pFallback) {
        m_pFallback->abort();
        return;
    }
    giveBack(false);
    // As the network layer's reply: nothing is left to read after an abort.
    QNetworkReply::close();
    m_aBody.clear();
    m_nBodyRead = 0;
    finish(OperationCanceledError, QStringLiteral("Operation canceled"));
}

qint64 THttpReply::bytesAvailable() const
{
    return QNetworkReply::bytesAvailable() + (m_pFallback ? m_pFallback->bytesAvailable() : unread());
}

void THttpReply::setReadBufferSize(qint64 nSize)
{
    QNetworkReply::setReadBufferSize(nSize);
    if (m_pFallback)
        m_pFallback->setReadBufferSize(nSize);
    if (!m_pConnection)
        return;
    m_pConnection->socket()->setReadBufferSize(nSize > 0 ? qMax(nSize, kSmallestSocketBuffer) : 0);
    if (!m_bReceiveQueued) {
        m_bReceiveQueued = true;
        QMetaObject::invokeMethod(this, &THttpReply::receive, Qt::QueuedConnection);
    }
}

qint64 THttpReply::readData(char* pData, qint64 nMaximum)
{
    if (m_pFallback) {
        const qint64 nRead = m_pFallback->read(pData, nMaximum);
        return nRead <= 0 && m_pFallback->isFinished() ? -1 : nRead;
    }
    const qint64 nRead = qMin(nMaximum, unread());
    if (nRead > 0)
        std::memcpy(pData, m_aBody.constData() + m_nBodyRead, size_t(nRead));
    m_nBodyRead += nRead;
    if (m_nBodyRead == m_aBody.size()) {
        m_aBody.clear();
        m_nBodyRead = 0;
    } else if (m_nBodyRead > 1024 * 1024 && m_nBodyRead * 2 > m_aBody.size()) {
        m_aBody.remove(0, int(m_nBodyRead));
        m_nBodyRead = 0;
    }
    madeRoom(nRead);
    return nRead == 0 && m_bDone ? -1 : nRead;
}

void THttpReply::madeRoom(qint64 nRead)
{
    // The socket's waiting bytes come in later, not inside this read.
    if (nRead > 0 && readBufferSize() > 0 && m_pConnection && !m_bReceiveQueued) {
        m_bReceiveQueued = true;
        QMetaObject::invokeMethod(this, &THttpReply::receive, Qt::QueuedConnection);
    }
}

QByteArray THttpReply::takeUnread()
{
    if (m_pFallback || m_nBodyRead > 0 || QNetworkReply::bytesAvailable() > 0 || !isReadable())
        return readAll();
    QByteArray aBody;
    aBody.swap(m_aBody);
    madeRoom(aBody.size());
    return aBody;
}

} // namespace shared
