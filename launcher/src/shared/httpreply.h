#pragma once

#include "httpconnection.h"
#include "httpresponseparser.h"

#include <QAbstractSocket>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QPointer>

class QNetworkAccessManager;

namespace shared {

class THttpConnectionPool;

// A GET over plain http without a proxy, read through a buffered connection of
// our own pool: the network layer's own connection reads every byte of a head
// with a system call of its own, which for a client of many small chunks is most
// of an install's time. Signals, attributes and errors are those the network
// layer's reply gives. An answer it would handle itself (a redirect, a request
// for credentials, a protocol switch) is asked again through the manager, and
// that reply's outcome passed on.
class THttpReply : public QNetworkReply, private THttpConnection::TListener
{
    Q_OBJECT

public:
    // Where the answer's head fields go. Copying them into the network layer's
    // tables (a list entry, a parsed value and a date conversion each) costs more
    // than the rest of a small chunk's answer: a reader that asks through field()
    // alone can leave them in the head as it came.
    enum class EHeadFields { Published, OnRequest };

    // Hears the reply's signals, before their connections, without a
    // connection of its own per signal: a small chunk's request made and undid
    // them all, a good part of what it cost.
    class TObserver
    {
    public:
        virtual void replyMetaDataChanged() = 0;
        virtual void replyReadyRead() = 0;
        virtual void replyProgress(qint64 nReceived) = 0;
        virtual void replyError(NetworkError eError) = 0;
        virtual void replyFinished() = 0;
        // The reply is being destroyed: it tells nothing more.
        virtual void replyGone() = 0;

    protected:
        ~TObserver() = default;
    };

    THttpReply(const QNetworkRequest& oRequest, QNetworkAccessManager* pManager,
               EHeadFields eHeadFields = EHeadFields::Published);
    ~THttpReply() override;

    // Whether a GET of oRequest through pManager goes straight to the server:
    // plain http, no proxy for it, no credentials in the URL, no cache.
    static bool takes(const QNetworkRequest& oRequest, QNetworkAccessManager* pManager);

    // One observer at most; null for none.
    void setObserver(TObserver* pObserver) { m_pObserver = pObserver; }

    // A field of the answer's head as rawHeader() gives it, whichever way the
    // fields go; empty before the head is in.
    QByteArray field(const QByteArray& aName) const;

    // What readAll() gives; the body itself when none of it was read yet, so
    // that a document of tens of MiB is not copied once more.
    QByteArray takeUnread();

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }
    void setReadBufferSize(qint64 nSize) override;

protected:
    qint64 readData(char* pData, qint64 nMaximum) override;
    void timerEvent(QTimerEvent* pEvent) override;

private:
    void start(THttpConnection* pConnection);
    void socketConnected() override { sendRequest(); }
    void socketReadyRead() override { receive(); }
    void socketError(QAbstractSocket::SocketError eError) override;
    void sendRequest();
    // Takes what the socket holds, as far as the read buffer has room.
    void receive();
    // The server closed the connection and all it sent is read.
    void endOfInput();
    // The head is in: published, or handed to the manager.
    bool takeHead();
    void fallBack();
    void copyFallbackHead();
    void complete();
    void giveBack(bool bReusable);
    void finish(NetworkError eError, const QString& sText);
    // The observer hears first; false when that deleted this reply.
    template <typename... TParameters, typename... TArguments>
    bool tellObserver(void (TObserver::*pfnHear)(TParameters...), TArguments... vArguments)
    {
        if (!m_pObserver)
            return true;
        const QPointer<THttpReply> pSelf(this);
        (m_pObserver->*pfnHear)(vArguments...);
        return !pSelf.isNull();
    }
    // The observer hears, then the signal goes out.
    void announceMetaDataChanged();
    void announceReadyRead();
    void announceProgress(qint64 nReceived, qint64 nTotal);
    void announceError(NetworkError eError);
    void announceFinished();
    qint64 unread() const { return m_aBody.size() - m_nBodyRead; }
    // A read took nRead bytes: waiting ones may come in from the socket.
    void madeRoom(qint64 nRead);
    qint64 totalSize() const { return m_oParser.contentLength(); }

    QNetworkAccessManager* m_pManager;
    EHeadFields m_eHeadFields;
    TObserver* m_pObserver = nullptr;
    QPointer<THttpConnectionPool> m_pPool;
    QPointer<THttpConnection> m_pConnection;
    QPointer<QNetworkReply> m_pFallback;
    THttpResponseParser m_oParser;
    QByteArray m_aInput;
    QByteArray m_aBody;
    qint64 m_nBodyRead = 0;
    qint64 m_nReceived = 0;
    bool m_bHeadTaken = false;
    bool m_bAnswerBegun = false;
    bool m_bRetried = false;
    // The server closed the connection: what the socket holds is all there is.
    bool m_bInputClosed = false;
    bool m_bDone = false;
    bool m_bReceiveQueued = false;
    // The time-out runs from the last byte that came in. The timer is not
    // started again for every read: when it fires early it waits out the rest.
    QBasicTimer m_oTransferTimer;
    int m_nTransferTimeout = 0;
    QElapsedTimer m_oSinceArrival;
    QElapsedTimer m_oProgressChoke;
};

} // namespace shared
