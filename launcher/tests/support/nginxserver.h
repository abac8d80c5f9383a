#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

// A loopback port nobody listens on at the moment of asking: a request to it is refused.
quint16 freeLoopbackPort();

// A private nginx on a free loopback port, serving a document root of the test's
// choice. It runs in the foreground as one process and is stopped by its PID.
class TNginxServer
{
public:
    TNginxServer();
    ~TNginxServer();
    TNginxServer(const TNginxServer&) = delete;
    TNginxServer& operator=(const TNginxServer&) = delete;

    // sServerConfig is pasted into the server block (extra locations, redirects).
    // Returns false, with errorString() set, when nginx did not come up.
    bool start(const QString& sDocumentRoot, const QString& sServerConfig = QString());
    void stop();

    quint16 port() const { return m_nPort; }
    QUrl url(const QString& sPath) const;
    const QString& errorString() const { return m_sError; }
    // Every request answered so far, by path, in order.
    QStringList servedPaths() const;

private:
    bool startOnce(const QString& sDocumentRoot, const QString& sServerConfig);

    QTemporaryDir m_oPrefix;
    QProcess m_oProcess;
    quint16 m_nPort = 0;
    QString m_sError;
};
