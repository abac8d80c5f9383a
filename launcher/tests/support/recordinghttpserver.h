#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// One HTTP request as it arrived.
struct TRecordedHttpRequest
{
    QByteArray m_aMethod;
    // The request target as sent: path and query.
    QByteArray m_aTarget;
    QList<QPair<QByteArray, QByteArray>> m_lHeaders;
    QByteArray m_aBody;

    // The value of the first header of that name (any letter case); empty if none.
    QByteArray header(const QByteArray& aName) const;
};

// What the server answers to one request.
struct TCannedHttpResponse
{
    int m_nStatus = 200;
    QByteArray m_aContentType = "application/json";
    QByteArray m_aBody;
    // Close the connection without answering: the client sees a network error.
    bool m_bDropConnection = false;

    static TCannedHttpResponse withBody(const QByteArray& aBody, int nStatus = 200);
    static TCannedHttpResponse dropConnection();
};

// An HTTP/1.1 server on a free loopback port for tests: it records every request
// (method, target, headers, a Content-Length body) and answers with the canned
// response set for the request's path, one request per connection. Answers can be
// held back and released in any order, to have several requests in flight at once.
class TRecordingHttpServer : public QObject
{
    Q_OBJECT

public:
    explicit TRecordingHttpServer(QObject* pParent = nullptr);
    ~TRecordingHttpServer() override;

    // Listens on 127.0.0.1 at a port the system picks.
    bool listen();
    quint16 port() const { return m_oServer.serverPort(); }
    QUrl url(const QString& sPath) const;

    // The answer for requests whose path (without query) is sPath.
    void setResponse(const QString& sPath, const TCannedHttpResponse& oResponse);
    // The answer for every other path; an empty 404 unless set.
    void setDefaultResponse(const TCannedHttpResponse& oResponse) { m_oDefaultResponse = oResponse; }

    // While on, complete requests are recorded but their answers wait for answerHeld().
    void setHoldResponses(bool bHold) { m_bHoldResponses = bHold; }
    int heldCount() const { return m_lHeld.size(); }
    // Sends the answer of the held request nIndex (0 = the earliest still held).
    void answerHeld(int nIndex);

    const QList<TRecordedHttpRequest>& requests() const { return m_lRequests; }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* pSocket);
    void answer(QTcpSocket* pSocket, const TCannedHttpResponse& oResponse);

    QTcpServer m_oServer;
    QHash<QTcpSocket*, QByteArray> m_hPending;
    QHash<QString, TCannedHttpResponse> m_hResponses;
    TCannedHttpResponse m_oDefaultResponse;
    bool m_bHoldResponses = false;
    QList<QPair<QPointer<QTcpSocket>, TCannedHttpResponse>> m_lHeld;
    QList<TRecordedHttpRequest> m_lRequests;
};
