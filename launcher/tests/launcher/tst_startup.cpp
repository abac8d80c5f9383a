#include "testpaths.h"

#include "launcher/launcherversion.h"
#include "shared/firstinstancetester.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>

// The launcher as a user starts it: a copy of the built binary in a folder of its
// own, with settings that point at a loopback server which never answers, so a
// run stays in its loading phase until the test ends it.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void secondStartExitsAtOnce();
    void killedInstanceDoesNotBlockTheNext();
    void restartTruncatesTheLog();

private:
    void startLauncher(QProcess& oProcess);
    bool waitForLogLine(const QString& sNeedle);
    QByteArray log() const;
    static void killHard(QProcess& oProcess);

    QTemporaryDir m_oFolder;
    QTcpServer m_oSilentServer;
    QString m_sLauncher;
    QString m_sLogPath;
    QProcess m_oFirst;
};

void tst_Startup::initTestCase()
{
    QVERIFY(m_oFolder.isValid());
    if (!shared::FirstInstanceTester(velmar::launcher::singleInstanceKey()).isFirstInstance())
        QSKIP("another launcher runs on this machine; these tests need to be the only one");
    QVERIFY(m_oSilentServer.listen(QHostAddress::LocalHost, 0));
    m_sLauncher = m_oFolder.filePath(QStringLiteral("corvane-launcher"));
    QVERIFY2(QFile::copy(builtExecutable(QStringLiteral("corvane-launcher")), m_sLauncher), "launcher not built");
    m_sLogPath = m_sLauncher + QStringLiteral(".log");

    QFile oSettings(m_oFolder.filePath(QStringLiteral("launchersettings.ini")));
    QVERIFY(oSettings.open(QIODevice::WriteOnly));
    oSettings.write(QStringLiteral("[URLS]\nlauncherConfiguration=http://127.0.0.1:%1/launcher/qlxmetadata.json\n"
                                   "[DIRECTORIES]\npackages=packages\n[TIMING]\nwaitNotificationTimeout=500\n"
                                   "downloadErrorTimeout=600000\nclientStartTimeout=30000\n")
                        .arg(m_oSilentServer.serverPort())
                        .toUtf8());
}

void tst_Startup::init()
{
    QFile::remove(m_sLogPath);
}

void tst_Startup::cleanup()
{
    if (m_oFirst.state() != QProcess::NotRunning)
        killHard(m_oFirst);
}

void tst_Startup::startLauncher(QProcess& oProcess)
{
    oProcess.setWorkingDirectory(m_oFolder.path());
    oProcess.start(m_sLauncher, QStringList());
    QVERIFY2(oProcess.waitForStarted(10000), qPrintable(oProcess.errorString()));
}

bool tst_Startup::waitForLogLine(const QString& sNeedle)
{
    QDeadlineTimer oDeadline(30000);
    while (!oDeadline.hasExpired()) {
        if (log().contains(sNeedle.toUtf8()))
            return true;
        QThread::msleep(25);
    }
    return false;
}

QByteArray tst_Startup::log() const
{
    QFile oFile(m_sLogPath);
    return oFile.open(QIODevice::ReadOnly) ? oFile.readAll() : QByteArray();
}

void tst_Startup::killHard(QProcess& oProcess)
{
    ::kill(static_cast<pid_t>(oProcess.processId()), SIGKILL);
    oProcess.waitForFinished(10000);
}

void tst_Startup::secondStartExitsAtOnce()
{
    startLauncher(m_oFirst);
    QVERIFY2(waitForLogLine(QStringLiteral("Info: load configuration")), log().constData());
    const QByteArray aFirstLog = log();

    QProcess oSecond;
    startLauncher(oSecond);
    QVERIFY(oSecond.waitForFinished(30000));
    QCOMPARE(oSecond.exitStatus(), QProcess::NormalExit);
    QCOMPARE(oSecond.exitCode(), 0);
    QVERIFY2(oSecond.readAllStandardError().contains("already running"), "the second start did not say why it ended");

    QCOMPARE(log(), aFirstLog);
    QCOMPARE(m_oFirst.state(), QProcess::Running);
}

void tst_Startup::killedInstanceDoesNotBlockTheNext()
{
    startLauncher(m_oFirst);
    QVERIFY(waitForLogLine(QStringLiteral("Info: load configuration")));
    killHard(m_oFirst);
    QFile::remove(m_sLogPath);

    QProcess oNext;
    startLauncher(oNext);
    QVERIFY2(waitForLogLine(QStringLiteral("Info: load configuration")), "the next start did not get going");
    QCOMPARE(oNext.state(), QProcess::Running);
    killHard(oNext);
}

void tst_Startup::restartTruncatesTheLog()
{
    startLauncher(m_oFirst);
    QVERIFY(waitForLogLine(QStringLiteral("Info: load configuration")));
    killHard(m_oFirst);
    {
        QFile oLog(m_sLogPath);
        QVERIFY(oLog.open(QIODevice::WriteOnly | QIODevice::Truncate));
        oLog.write("a line of the previous run\n");
    }

    startLauncher(m_oFirst);
    QVERIFY(waitForLogLine(QStringLiteral("Info: load configuration")));
    const QByteArray aLog = log();
    QVERIFY2(!aLog.contains("previous run"), aLog.constData());
    const QByteArray aFirstLine = aLog.left(aLog.indexOf('\n'));
    QVERIFY2(QRegularExpression(QStringLiteral(R"(^\S+ \S+ \(:0\) Info: Version:  "0\.0\.14"  Thread: )"))
                 .match(QString::fromUtf8(aFirstLine))
                 .hasMatch(),
             aFirstLine.constData());
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
