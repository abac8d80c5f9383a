#include "faultyhttpserver.h"

#include "faultyhttpconnection.h"

#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

QString withoutLeadingSlash(QString sPath)
{
    while (sPath.startsWith(QLatin1Char('/')))
        sPath.remove(0, 1);
    return sPath;
}

} // namespace

TFaultyHttpServer::TFaultyHttpServer()
    : m_pContext(new QObject)
{
    m_oThread.setObjectName(QStringLiteral("TFaultyHttpServer"));
    m_pContext->moveToThread(&m_oThread);
}

TFaultyHttpServer::~TFaultyHttpServer()
{
    if (m_oThread.isRunning()) {
        // Sockets must die on the thread that owns their notifiers. A copy of the
        // list: every deletion takes the child out of the original.
        QMetaObject::invokeMethod(m_pContext, [this] {
            const QObjectList lChildren = m_pContext->children();
            qDeleteAll(lChildren);
        }, Qt::BlockingQueuedConnection);
        m_oThread.quit();
        m_oThread.wait();
    }
    delete m_pContext;
}

bool TFaultyHttpServer::start(const QString& sDocumentRoot)
{
    if (m_oThread.isRunning())
        return false;
    m_oThread.start();
    quint16 nPort = 0;
    QMetaObject::invokeMethod(m_pContext, [this, sDocumentRoot, &nPort] {
        auto* pServer = new QTcpServer(m_pContext);
        if (!pServer->listen(QHostAddress::LocalHost, 0)) {
            delete pServer;
            return;
        }
        nPort = pServer->serverPort();
        connect(pServer, &QTcpServer::newConnection, pServer, [this, pServer, sDocumentRoot] {
            while (QTcpSocket* pSocket = pServer->nextPendingConnection()) {
                new TFaultyHttpConnection(pSocket, sDocumentRoot,
                                          [this](const QString& sPath) { return takeRequest(sPath); }, m_pContext);
            }
        });
    }, Qt::BlockingQueuedConnection);
    QMutexLocker oLock(&m_oMutex);
    m_nPort = nPort;
    return nPort != 0;
}

quint16 TFaultyHttpServer::port() const
{
    QMutexLocker oLock(&m_oMutex);
    return m_nPort;
}

QUrl TFaultyHttpServer::url(const QString& sPath) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(port()).arg(withoutLeadingSlash(sPath)));
}

void TFaultyHttpServer::setFaultForPrefix(const QString& sPrefix, EHttpFault eFault, int nTimes)
{
    QMutexLocker oLock(&m_oMutex);
    TFaultRule oRule;
    oRule.m_eFault = eFault;
    oRule.m_nTimes = nTimes;
    m_hPrefixFaults.insert(withoutLeadingSlash(sPrefix), oRule);
}

int TFaultyHttpServer::requestCount(const QString& sPath) const
{
    QMutexLocker oLock(&m_oMutex);
    return m_hCounts.value(withoutLeadingSlash(sPath));
}

QStringList TFaultyHttpServer::requestedPaths() const
{
    QMutexLocker oLock(&m_oMutex);
    return m_lRequestedPaths;
}

EHttpFault TFaultyHttpServer::takeRequest(const QString& sPath)
{
    QMutexLocker oLock(&m_oMutex);
    ++m_hCounts[sPath];
    m_lRequestedPaths.append(sPath);
    auto itLongest = m_hPrefixFaults.end();
    for (auto it = m_hPrefixFaults.begin(); it != m_hPrefixFaults.end(); ++it) {
        if (sPath.startsWith(it.key()) && (itLongest == m_hPrefixFaults.end() || it.key().size() > itLongest.key().size()))
            itLongest = it;
    }
    return itLongest == m_hPrefixFaults.end() ? EHttpFault::None : consume(itLongest.value(), sPath);
}

EHttpFault TFaultyHttpServer::consume(TFaultRule& oRule, const QString& sPath)
{
    if (oRule.m_nTimes < 0)
        return oRule.m_eFault;
    int& nUsed = oRule.m_hUsed[sPath];
    if (nUsed >= oRule.m_nTimes)
        return EHttpFault::None;
    ++nUsed;
    return oRule.m_eFault;
}
