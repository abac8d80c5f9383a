#pragma once

#include "httpreply.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

namespace shared {

// Puts one QNetworkReply behind virtual operations so that the download pool can
// be driven by test doubles. The wrapper is a child of the reply and dies with it;
// deleting the wrapper deletes the reply too.
class QNetworkReplyWrapper : public QObject, private THttpReply::TObserver
{
    Q_OBJECT

public:
    // Hears what the reply says without a signal connection: a request per small
    // chunk made and undid a dozen connections, a good part of what it cost.
    class TListener
    {
    public:
        virtual void replyMetaDataChanged(QNetworkReplyWrapper* pReply) = 0;
        virtual void replyReadyRead(QNetworkReplyWrapper* pReply) = 0;
        virtual void replyProgress(QNetworkReplyWrapper* pReply, qint64 nReceived) = 0;
        virtual void replyError(QNetworkReplyWrapper* pReply, QNetworkReply::NetworkError eError) = 0;
        virtual void replyFinished(QNetworkReplyWrapper* pReply) = 0;

    protected:
        ~TListener() = default;
    };

    // pReply may be null: the wrapper then connects nothing and never finishes.
    explicit QNetworkReplyWrapper(QNetworkReply* pReply);
    ~QNetworkReplyWrapper() override;

    // One listener at most, told after the signal's connections; it is told
    // nothing more once pLifetime is gone.
    void setListener(TListener* pListener, QObject* pLifetime);

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

    // Each emits its signal, then tells the listener. For replies that stand in
    // for others, and for test doubles.
    void announceMetaDataChanged();
    void announceReadyRead();
    void announceProgress(qint64 nReceived);
    void announceError(QNetworkReply::NetworkError eError);
    void announceFinished();

signals:
    void error(QNetworkReply::NetworkError code);
    void finished();
    void progress(qint64 BytesReceivedFromRequest);
    void readyRead();
    // The answer's head is in (again after a redirect).
    void metaDataChanged();

private:
    void replyMetaDataChanged() override { announceMetaDataChanged(); }
    void replyReadyRead() override { announceReadyRead(); }
    void replyProgress(qint64 nReceived) override { announceProgress(nReceived); }
    void replyError(QNetworkReply::NetworkError eError) override { announceError(eError); }
    void replyFinished() override { announceFinished(); }
    void replyGone() override { m_pHttpReply = nullptr; }
    TListener* listener() const { return m_pListenerLifetime ? m_pListener : nullptr; }

    QNetworkReply* m_pReply;
    // The same reply when it is ours: its head fields are asked of it.
    THttpReply* m_pHttpReply;
    QUrl m_oRequestedUrl;
    TListener* m_pListener = nullptr;
    QPointer<QObject> m_pListenerLifetime;
};

} // namespace shared
