#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

// What the server does to one answer instead of serving the file correctly.
enum class EHttpFault {
    None,
    // 404 or 500 with a short text body; the connection stays usable.
    NotFound,
    ServerError,
    // The full Content-Length, half the body, then a TCP reset.
    ResetMidway,
    // The full Content-Length, half the body, then a clean close.
    Truncate,
    // The right length, but 16 bytes from the middle of the body on inverted
    // (fewer if the body ends first; an empty body stays empty).
    WrongBytes,
    // The full Content-Length, half the body, then silence until the server stops.
    Stall,
    // The body and 1 MiB of garbage after it, all announced in Content-Length.
    OverLong,
};

// A static file server for tests that breaks chosen answers on purpose. It serves
// the files below a document root over HTTP/1.1 (GET, Content-Length,
// keep-alive) on 127.0.0.1 at a free port, from a thread of its own: a test may
// block (QProcess::waitForFinished, a nested event loop) while another process or
// thread downloads from it. Every public method may be called from any thread.
//
// Paths are written without the leading slash ("live/chunks/ab/abcd..."), with
// percent-encoding resolved and the query left out.
class TFaultyHttpServer : public QObject
{
    Q_OBJECT

public:
    TFaultyHttpServer();
    // Stops the thread; open connections, stalled ones too, are dropped.
    ~TFaultyHttpServer() override;

    // Starts serving sDocumentRoot; false if no port could be bound. Call once.
    bool start(const QString& sDocumentRoot);
    quint16 port() const;
    QUrl url(const QString& sPath) const;

    // The next nTimes requests of each path starting with sPrefix get eFault,
    // later ones the file; nTimes < 0: every request. Among prefixes the longest wins.
    void setFaultForPrefix(const QString& sPrefix, EHttpFault eFault, int nTimes = -1);

    int requestCount(const QString& sPath) const;
    // Every request's path, in the order the requests arrived.
    QStringList requestedPaths() const;

private:
    struct TFaultRule
    {
        EHttpFault m_eFault = EHttpFault::None;
        int m_nTimes = -1;
        // Faults already handed out, per path.
        QHash<QString, int> m_hUsed;
    };

    // Called from the server thread for every request: records it and decides
    // the fault it gets.
    EHttpFault takeRequest(const QString& sPath);
    static EHttpFault consume(TFaultRule& oRule, const QString& sPath);

    mutable QMutex m_oMutex;
    QThread m_oThread;
    // Lives in m_oThread; the listening socket and every connection hang below it.
    QObject* m_pContext = nullptr;
    quint16 m_nPort = 0;
    QHash<QString, TFaultRule> m_hPrefixFaults;
    QHash<QString, int> m_hCounts;
    QStringList m_lRequestedPaths;
};
