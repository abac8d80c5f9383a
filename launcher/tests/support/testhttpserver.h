#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QUrl>

#include <optional>

// One HTTP request as it arrived.
struct TRecordedHttpRequest
{
    QByteArray m_aMethod;
    // The request target as sent: path and query.
    QByteArray m_aTarget;
    // The header lines as sent.
    QByteArray m_aHeaders;
    QByteArray m_aBody;

    // The target's path, percent-decoded, without the leading slash and the query.
    QString path() const;
    // The value of the header field aName (any letter case), trimmed; empty when absent.
    QByteArray header(const QByteArray& aName) const;
};

// What the server answers instead of a file.
struct TCannedHttpResponse
{
    int m_nStatus = 200;
    QByteArray m_aBody;

    static TCannedHttpResponse withBody(const QByteArray& aBody, int nStatus = 200) { return {nStatus, aBody}; }
};

// What the server does to a file's answer instead of serving it correctly.
enum class EHttpFault {
    None,
    NotFound,    // 404 with a short body
    ServerError, // 500 with a short body
    Unavailable, // 503 with a short body
    ResetMidway, // the full Content-Length, half the body, then a TCP reset
    Truncate,    // the full Content-Length, half the body, then a clean close
    WrongBytes,  // the right length, but 16 bytes from the middle of the body inverted
    Stall,       // the full Content-Length, half the body, then silence until the server stops
    OverLong,    // the body and 1 MiB of garbage after it, all announced in Content-Length
    Drip,        // the full Content-Length, then the body one byte every 200 ms
    // Against "Range: bytes=N-", which a file's answer otherwise honours with a 206:
    IgnoreRange,         // a 200 with the whole body
    WrongRange,          // a 206 with the whole body, as bytes from 0 on
    RangeNotSatisfiable, // a 416
};

class TTestHttpConnection;

// An HTTP/1.1 server for tests on 127.0.0.1 at a free port, one request per
// connection, on a thread of its own, so that a test may block (a child process,
// a nested event loop) while another process or thread talks to it. It records
// every request; it answers a path with the canned response set for it, else with
// the file of that path below the document root (GET only, with the fault chosen
// for the path), else with the default response. Answers can be held back and
// released in any order. Every public method may be called from any thread.
class TTestHttpServer : public QObject
{
    Q_OBJECT

public:
    TTestHttpServer();
    // Stops the thread; open connections, stalled and held ones too, are dropped.
    ~TTestHttpServer() override;

    // False if no port could be bound. Call once.
    bool start(const QString& sDocumentRoot = QString());
    quint16 port() const;
    QUrl url(const QString& sPath) const;

    // Paths are given with or without the leading slash, without query.
    void setResponse(const QString& sPath, const TCannedHttpResponse& oResponse);
    // For paths with neither a canned response nor a file; an empty 404 unless set.
    void setDefaultResponse(const TCannedHttpResponse& oResponse);
    // The next nTimes requests of each path starting with sPrefix get eFault,
    // later ones the file; nTimes < 0: every request. Among prefixes the longest wins.
    void setFaultForPrefix(const QString& sPrefix, EHttpFault eFault, int nTimes = -1);
    // Request k of each path starting with sPrefix gets lFaults[k], later ones the file.
    void setFaultsForPrefix(const QString& sPrefix, const QList<EHttpFault>& lFaults);

    // While on, requests are recorded, and their canned or default answers wait
    // for answerHeld(); files are not served meanwhile.
    void setHoldResponses(bool bHold);
    int heldCount() const;
    // Sends the answer of the held request nIndex (0 = the earliest still held).
    void answerHeld(int nIndex);

    QList<TRecordedHttpRequest> requests() const;

private:
    friend class TTestHttpConnection;

    // From the server thread for every request: records it and says how to answer
    // (a canned response in oCanned, else the file with eFault). False when held.
    bool takeRequest(TTestHttpConnection* pConnection, const TRecordedHttpRequest& oRequest, EHttpFault& eFault,
                     std::optional<TCannedHttpResponse>& oCanned);

    mutable QMutex m_oMutex;
    QThread m_oThread;
    // Lives in m_oThread; the listening socket and every connection hang below it.
    QObject* m_pContext = nullptr;
    QString m_sDocumentRoot;
    quint16 m_nPort = 0;
    QHash<QString, TCannedHttpResponse> m_hResponses;
    TCannedHttpResponse m_oDefaultResponse = TCannedHttpResponse::withBody(QByteArray(), 404);
    // Per prefix: the faults each path gets in turn, and whether the last one stays.
    QHash<QString, QPair<QList<EHttpFault>, bool>> m_hPrefixFaults;
    // Faults handed out per path.
    QHash<QString, int> m_hFaultsUsed;
    bool m_bHoldResponses = false;
    QList<QPair<QPointer<TTestHttpConnection>, TCannedHttpResponse>> m_lHeld;
    QList<TRecordedHttpRequest> m_lRequests;
};
