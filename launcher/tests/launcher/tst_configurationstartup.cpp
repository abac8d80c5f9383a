#include "nginxserver.h"
#include "testpaths.h"

#include "launcher/launcherversion.h"
#include "shared/firstinstancetester.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>

// The launcher binary at start-up: the metadata load begins as soon as the log
// says "load configuration", and an answered load leaves the local copy.
class tst_ConfigurationStartup : public QObject
{
    Q_OBJECT

private slots:
    void startupLoadsMetadataAndKeepsLocalCopy();
};

void tst_ConfigurationStartup::startupLoadsMetadataAndKeepsLocalCopy()
{
    if (!shared::FirstInstanceTester(velmar::launcher::singleInstanceKey()).isFirstInstance())
        QSKIP("another launcher runs on this machine; this test needs to be the only one");
    QTemporaryDir oRoot;
    QTemporaryDir oFolder;
    const QByteArray aMetadata = R"({"packages": [{"name": "Live"}], "showpackagenames": true})";
    QVERIFY(QDir().mkpath(oRoot.filePath(QStringLiteral("launcher"))));
    QFile oDocument(oRoot.filePath(QStringLiteral("launcher/qlxmetadata.json")));
    QVERIFY(oDocument.open(QIODevice::WriteOnly));
    oDocument.write(aMetadata);
    oDocument.close();
    TNginxServer oServer;
    QVERIFY2(oServer.start(oRoot.path()), qPrintable(oServer.errorString()));

    const QString sLauncher = oFolder.filePath(QStringLiteral("corvane-launcher"));
    QVERIFY2(QFile::copy(builtExecutable(QStringLiteral("corvane-launcher")), sLauncher), "launcher not built");
    QFile oSettings(oFolder.filePath(QStringLiteral("launchersettings.ini")));
    QVERIFY(oSettings.open(QIODevice::WriteOnly));
    oSettings.write(QStringLiteral("[URLS]\nlauncherConfiguration=%1\n[DIRECTORIES]\npackages=packages\n"
                                   "[TIMING]\nwaitNotificationTimeout=500\ndownloadErrorTimeout=600000\n")
                        .arg(oServer.url(QStringLiteral("/launcher/qlxmetadata.json")).toString())
                        .toUtf8());
    oSettings.close();

    QProcess oProcess;
    oProcess.setWorkingDirectory(oFolder.path());
    oProcess.start(sLauncher, QStringList());
    QVERIFY2(oProcess.waitForStarted(10000), qPrintable(oProcess.errorString()));

    QFile oCopy(oFolder.filePath(QStringLiteral("launchermetadata.json")));
    QDeadlineTimer oDeadline(30000);
    QByteArray aCopy;
    while (!oDeadline.hasExpired() && aCopy != aMetadata) {
        QThread::msleep(25);
        if (oCopy.open(QIODevice::ReadOnly)) {
            aCopy = oCopy.readAll();
            oCopy.close();
        }
    }
    const bool bRunning = oProcess.state() == QProcess::Running;
    ::kill(static_cast<pid_t>(oProcess.processId()), SIGKILL);
    oProcess.waitForFinished(10000);
    QCOMPARE(aCopy, aMetadata);
    QVERIFY2(bRunning, oProcess.readAllStandardError().constData());
}

QTEST_GUILESS_MAIN(tst_ConfigurationStartup)
#include "tst_configurationstartup.moc"
