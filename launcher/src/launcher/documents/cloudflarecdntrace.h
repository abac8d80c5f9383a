#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace shared {
class TDownloadHandle;
class TDownloadPool;
}

namespace velmar::launcher {

// Diagnostics about the CDN edge that serves this machine, shown when a download
// fails: fetched at most once per run from a trace endpoint answering lines of
// key=value, of which fl, ts, colo and ip are kept. Once received or failed it
// stays so for the rest of the run.
class TCloudflareCdnTrace : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TCloudflareCdnTrace)

public:
    // The pool is shared with other users; only outcomes for TraceUrl are taken.
    TCloudflareCdnTrace(QUrl TraceUrl, std::shared_ptr<shared::TDownloadPool> Pool);
    ~TCloudflareCdnTrace() override;

    // Starts the fetch unless it was started or ended before. An invalid (for
    // example empty) address fails at once.
    void requestTrace();

    bool isReceived() const { return m_bReceived; }
    bool isFailed() const { return m_bFailed; }
    // "FL: %1, TS: %2, COLO: %3, IP: %4"; values the trace lacked stay empty.
    QString summary() const;

signals:
    // Once, when the fetch ends: false after a trace was read, true after a failure.
    void diagnosticsTraceReceived(bool Failed);

private slots:
    void onDownloadSuccess(QUrl Url, QByteArray Data);
    void onDownloadFailed(QUrl Url, QNetworkReply::NetworkError Code, QString ErrorString);

private:
    QUrl m_oTraceUrl;
    std::unique_ptr<shared::TDownloadHandle> m_pDownloads;
    QString m_sFl;
    QString m_sTs;
    QString m_sColo;
    QString m_sIp;
    bool m_bReceived = false;
    bool m_bFailed = false;
    bool m_bRequested = false;
};

} // namespace velmar::launcher
