#include "cloudflarecdntrace.h"

#include "cdntracefields.h"

#include "shared/downloadhandle.h"

#include <utility>

namespace velmar::launcher {

TCloudflareCdnTrace::TCloudflareCdnTrace(QUrl TraceUrl, std::shared_ptr<shared::TDownloadPool> Pool)
    : m_oTraceUrl(std::move(TraceUrl)), m_pDownloads(std::make_unique<shared::TDownloadHandle>(std::move(Pool)))
{
    connect(m_pDownloads.get(), &shared::TDownloadHandle::success, this, &TCloudflareCdnTrace::onDownloadSuccess);
    connect(m_pDownloads.get(), &shared::TDownloadHandle::failed, this, &TCloudflareCdnTrace::onDownloadFailed);
}

TCloudflareCdnTrace::~TCloudflareCdnTrace() = default;

void TCloudflareCdnTrace::requestTrace()
{
    if (m_bReceived || m_bFailed || m_bRequested)
        return;
    if (m_oTraceUrl.isValid() && m_pDownloads->pool()) {
        // Set first: the pool may report an unusable address before it returns.
        m_bRequested = true;
        m_pDownloads->download(m_oTraceUrl);
    } else {
        m_bFailed = true;
        emit diagnosticsTraceReceived(true);
    }
}

QString TCloudflareCdnTrace::summary() const
{
    return QStringLiteral("FL: %1, TS: %2, COLO: %3, IP: %4").arg(m_sFl, m_sTs, m_sColo, m_sIp);
}

void TCloudflareCdnTrace::onDownloadSuccess(QUrl Url, QByteArray Data)
{
    Q_UNUSED(Url)
    const TCdnTraceFields oFields = parseCdnTrace(Data);
    m_sFl = oFields.sFl;
    m_sTs = oFields.sTs;
    m_sColo = oFields.sColo;
    m_sIp = oFields.sIp;
    m_bReceived = true;
    m_bFailed = false;
    m_bRequested = false;
    emit diagnosticsTraceReceived(false);
}

void TCloudflareCdnTrace::onDownloadFailed(QUrl Url, QNetworkReply::NetworkError Code, QString ErrorString)
{
    Q_UNUSED(Url)
    Q_UNUSED(Code)
    Q_UNUSED(ErrorString)
    m_bFailed = true;
    m_bReceived = false;
    m_bRequested = false;
    emit diagnosticsTraceReceived(true);
}

} // namespace velmar::launcher
