#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

namespace shared {

class THttpReply;

// Puts one QNetworkReply behind virtual operations so that the download pool can
// be driven by test doubles. The wrapper is a child of the reply and dies with it.
class QNetworkReplyWrapper : public QObject
{
    Q_OBJECT

public:
    // pReply may be null: the wrapper then connects nothing and never finishes.
    explicit QNetworkReplyWrapper(QNetworkReply* pReply);

    virtual QNetworkReply::NetworkError networkError() const;
    virtual QString errorString() const;
    virtual QByteArray readAll();
    // What can be read now, and reading part of it; with a read buffer size set,
    // the network layer stops taking data while the buffer is full.
    virtual qint64 bytesAvailable() const;
    virtual QByteArray read(qint64 nMaximum);
    virtual void setReadBufferSize(qint64 nBytes);
    // The body's size as the answer announces it; -1 when it does not, or when
    // the body is unpacked on the way and so has another size.
    virtual qint64 announcedSize() const;
    // The answer's HTTP status and one of its header fields, once its head is
    // in; 0 and empty before, and for other schemes.
    virtual int statusCode() const;
    virtual QByteArray rawHeader(const QByteArray& aName) const;
    // The URL that was asked for, not the target of a redirect.
    virtual QUrl url() const;
    virtual void abort();

signals:
    void error(QNetworkReply::NetworkError code);
    void finished();
    void progress(qint64 BytesReceivedFromRequest);
    void readyRead();
    // The answer's head is in (again after a redirect).
    void metaDataChanged();

private:
    QNetworkReply* m_pReply;
    // The same reply when it is ours: its head fields are asked of it.
    THttpReply* m_pHttpReply;
    QUrl m_oRequestedUrl;
};

} // namespace shared
