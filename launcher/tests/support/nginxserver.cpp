#include "nginxserver.h"
#include "testfiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <signal.h>

quint16 freeLoopbackPort()
{
    QTcpServer oProbe;
    if (!oProbe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return oProbe.serverPort();
}

TNginxServer::TNginxServer() = default;

TNginxServer::~TNginxServer()
{
    stop();
}

QUrl TNginxServer::url(const QString& sPath) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_nPort).arg(sPath));
}

bool TNginxServer::start(const QString& sDocumentRoot, const QString& sServerConfig)
{
    // The port is free when probed but may be taken before nginx binds it: retry.
    for (int nAttempt = 0; nAttempt < 5; ++nAttempt) {
        if (startOnce(sDocumentRoot, sServerConfig))
            return true;
    }
    return false;
}

bool TNginxServer::startOnce(const QString& sDocumentRoot, const QString& sServerConfig)
{
    const QString sNginx = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (sNginx.isEmpty()) {
        m_sError = QStringLiteral("nginx is not installed (run scripts/setup)");
        return false;
    }
    m_nPort = freeLoopbackPort();
    const QString sPrefix = m_oPrefix.path();
    // The configuration the demo, the screenshots and the benchmarks use too.
    const QString sTemplateFile = QStringLiteral(CORVANE_SOURCE_DIR "/scripts/nginx.conf.in");
    QString sConfig = QString::fromUtf8(readTestFile(sTemplateFile));
    if (sConfig.isEmpty()) {
        m_sError = QStringLiteral("cannot read ") + sTemplateFile;
        return false;
    }
    sConfig.replace(QLatin1String("@PREFIX@"), sPrefix)
        .replace(QLatin1String("@PORT@"), QString::number(m_nPort))
        .replace(QLatin1String("@ROOT@"), QDir(sDocumentRoot).absolutePath())
        .replace(QLatin1String("@SERVER@"), sServerConfig);
    const QString sConfigFile = sPrefix + QStringLiteral("/nginx.conf");
    if (!writeTestFile(sConfigFile, sConfig.toUtf8())) {
        m_sError = QStringLiteral("cannot write ") + sConfigFile;
        return false;
    }

    m_oProcess.setProcessChannelMode(QProcess::MergedChannels);
    m_oProcess.start(sNginx, {QStringLiteral("-p"), sPrefix, QStringLiteral("-c"), sConfigFile,
                              QStringLiteral("-e"), sPrefix + QStringLiteral("/error.log")});
    if (!m_oProcess.waitForStarted(5000)) {
        m_sError = m_oProcess.errorString();
        return false;
    }
    QDeadlineTimer oDeadline(10000);
    while (!oDeadline.hasExpired()) {
        if (m_oProcess.state() != QProcess::Running)
            break;
        QTcpSocket oProbe;
        oProbe.connectToHost(QHostAddress::LocalHost, m_nPort);
        if (oProbe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    m_sError = QString::fromUtf8(m_oProcess.readAll() + readTestFile(sPrefix + QStringLiteral("/error.log")));
    stop();
    return false;
}

QStringList TNginxServer::servedPaths() const
{
    QStringList lPaths;
    for (const QByteArray& aLine : readTestFile(m_oPrefix.path() + QStringLiteral("/access.log")).split('\n')) {
        if (!aLine.isEmpty())
            lPaths << QString::fromUtf8(aLine.left(aLine.indexOf(' ')));
    }
    return lPaths;
}

void TNginxServer::stop()
{
    if (m_oProcess.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(m_oProcess.processId()), SIGTERM);
    if (!m_oProcess.waitForFinished(5000)) {
        m_oProcess.kill();
        m_oProcess.waitForFinished(5000);
    }
}
