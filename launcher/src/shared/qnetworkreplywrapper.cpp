#include "qnetworkreplywrapper.h"

#include "httpreply.h"

namespace shared {

QNetworkReplyWrapper::QNetworkReplyWrapper(QNetworkReply* pReply)
    : QObject(pReply)
    , m_pReply(pReply)
    , m_pHttpReply(qobject_cast<THttpReply*>(pReply))
{
    if (!m_pReply)
        return;
    // Taken now: a redirect rewrites the reply's own URL later.
    m_oRequestedUrl = m_pReply->request().url();
    if (m_pHttpReply) {
        m_pHttpReply->setObserver(this);
        return;
    }
    // The reply would otherwise live as long as the manager, which is the whole
    // run. A reply of ours is taken along by the destructor, without a
    // connection for each small chunk's request.
    connect(this, &QObject::destroyed, m_pReply, &QObject::deleteLater);
    connect(m_pReply, &QNetworkReply::errorOccurred, this, &QNetworkReplyWrapper::announceError);
    connect(m_pReply, &QNetworkReply::finished, this, &QNetworkReplyWrapper::announceFinished);
    connect(m_pReply, &QNetworkReply::downloadProgress, this,
            [this](qint64 nReceived, qint64) { announceProgress(nReceived); });
    connect(m_pReply, &QNetworkReply::readyRead, this, &QNetworkReplyWrapper::announceReadyRead);
    connect(m_pReply, &QNetworkReply::metaDataChanged, this, &QNetworkReplyWrapper::announceMetaDataChanged);
}

QNetworkReplyWrapper::~QNetworkReplyWrapper()
{
    // Null once the reply is being destroyed: it says so before it frees its
    // children. Otherwise the wrapper goes first, and takes its reply along.
    if (m_pHttpReply) {
        m_pHttpReply->setObserver(nullptr);
        m_pHttpReply->deleteLater();
    }
}

void QNetworkReplyWrapper::setListener(TListener* pListener, QObject* pLifetime)
{
    m_pListener = pListener;
    m_pListenerLifetime = pLifetime;
}

void QNetworkReplyWrapper::announceMetaDataChanged()
{
    emit metaDataChanged();
    if (TListener* pListener = listener())
        pListener->replyMetaDataChanged(this);
}

void QNetworkReplyWrapper::announceReadyRead()
{
    emit readyRead();
    if (TListener* pListener = listener())
        pListener->replyReadyRead(this);
}

void QNetworkReplyWrapper::announceProgress(qint64 nReceived)
{
    emit progress(nReceived);
    if (TListener* pListener = listener())
        pListener->replyProgress(this, nReceived);
}

void QNetworkReplyWrapper::announceError(QNetworkReply::NetworkError eError)
{
    emit error(eError);
    if (TListener* pListener = listener())
        pListener->replyError(this, eError);
}

void QNetworkReplyWrapper::announceFinished()
{
    emit finished();
    if (TListener* pListener = listener())
        pListener->replyFinished(this);
}

QNetworkReply::NetworkError QNetworkReplyWrapper::networkError() const
{
    return m_pReply ? m_pReply->error() : QNetworkReply::UnknownNetworkError;
}

QString QNetworkReplyWrapper::errorString() const
{
    return m_pReply ? m_pReply->errorString() : QString();
}

QByteArray QNetworkReplyWrapper::readAll()
{
    if (m_pHttpReply)
        return m_pHttpReply->takeUnread();
    return m_pReply ? m_pReply->readAll() : QByteArray();
}

qint64 QNetworkReplyWrapper::bytesAvailable() const
{
    return m_pReply ? m_pReply->bytesAvailable() : 0;
}

QByteArray QNetworkReplyWrapper::read(qint64 nMaximum)
{
    // All of it is the body as it lies, not a copy.
    if (m_pHttpReply && nMaximum >= m_pHttpReply->bytesAvailable())
        return m_pHttpReply->takeUnread();
    return m_pReply ? m_pReply->read(nMaximum) : QByteArray();
}

void QNetworkReplyWrapper::setReadBufferSize(qint64 nBytes)
{
    if (m_pReply)
        m_pReply->setReadBufferSize(nBytes);
}

qint64 QNetworkReplyWrapper::announcedSize() const
{
    if (!m_pReply)
        return -1;
    // Fields read through rawHeader(): a reply of ours may keep its head to itself.
    // Names as literals: asked for every chunk, each allocation shows.
    const QByteArray aEncoding = rawHeader(QByteArrayLiteral("Content-Encoding")).trimmed();
    if (!aEncoding.isEmpty() && aEncoding.compare("identity", Qt::CaseInsensitive) != 0)
        return -1;
    // Read as the network layer reads the field for its ContentLengthHeader.
    bool bNumber = false;
    const qint64 nLength = rawHeader(QByteArrayLiteral("Content-Length")).trimmed().toLongLong(&bNumber);
    return bNumber ? nLength : -1;
}

int QNetworkReplyWrapper::statusCode() const
{
    return m_pReply ? m_pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
}

QByteArray QNetworkReplyWrapper::rawHeader(const QByteArray& aName) const
{
    if (m_pHttpReply)
        return m_pHttpReply->field(aName);
    return m_pReply ? m_pReply->rawHeader(aName) : QByteArray();
}

QUrl QNetworkReplyWrapper::url() const
{
    return m_oRequestedUrl;
}

void QNetworkReplyWrapper::abort()
{
    if (m_pReply)
        m_pReply->abort();
}

} // namespace shared
