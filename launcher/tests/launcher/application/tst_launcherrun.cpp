// Whole launcher runs, as a player starts them: "corvane-launcher" in a folder
// of its own against a CDN on loopback, with the stub client; and the log a run
// writes.

#include "childprocess.h"
#include "launcherbed.h"
#include "testhttpserver.h"
#include "testseams.h"

#include "launcher/application/clientrunningmarker.h"
#include "launcher/application/clientstart.h"
#include "launcher/application/logging.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtConcurrent>
#include <QtTest>

using namespace velmar::launcher;

namespace {

const QString kLinePattern = QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \((.*):(\d+)\) (\w+): (.*)$)");

// Logs a few lines into the folder given, the last one fatal.
int logThenDie(int nArgc, char** ppArgv)
{
    QCoreApplication oApplication(nArgc, ppArgv);
    setupLogging(QString::fromLocal8Bit(ppArgv[3]), QStringLiteral("child"));
    qInfo() << "before the end";
    qFatal("the end %d", 42);
    return 0;
}

// Points the bed's launcher at another address for its metadata.
bool useMetadataAt(TLauncherBed& oBed, const QUrl& oUrl)
{
    const QString sSettings = oBed.path(QStringLiteral("launcher/launchersettings.ini"));
    QByteArray aSettings = readTestFile(sSettings);
    aSettings.replace(oBed.nginx().url(QStringLiteral("/launcher/qlxmetadata.json")).toEncoded(), oUrl.toEncoded());
    return aSettings.contains(oUrl.toEncoded()) && writeTestFile(sSettings, aSettings);
}

// Runs the launcher to its end, and waits for the client it started to end too:
// the stub client ends once its launcher has, and the next run must not find it
// still there. -1 when the client stays.
int runToEnd(TLauncherBed& oBed, const QStringList& lArguments)
{
    const int nExitCode = oBed.run(lArguments);
    return QTest::qWaitFor([] { return !isClientRunning(); }, 30000) ? nExitCode : -1;
}

// A launcher left running while the test looks on; killed at the end.
struct TRunningLauncher
{
    TRunningLauncher(TLauncherBed& oBed, const QStringList& lArguments) { oBed.start(m_oProcess, lArguments); }
    ~TRunningLauncher()
    {
        m_oProcess.kill();
        m_oProcess.waitForFinished();
    }
    QProcess m_oProcess;
};

} // namespace

class tst_LauncherRun : public QObject
{
    Q_OBJECT

private slots:
    void firstLaunchThenDirectStartThenPatches();
    void offlineAndBrokenStarts();
    void signedMetadataRuns();
    void downloadFailureTriedAgain();
    void verificationFailureRepaired_data();
    void verificationFailureRepaired();
    void graphicsFlag_data();
    void graphicsFlag();
    void selfUpdate_data();
    void selfUpdate();
    void oneRunPerLauncherFolder();
    void openWindowLearnsOfNewVersions();
    void fatalIsWrittenBeforeAbort();
    void linesFromManyThreadsStayWhole();
};

void tst_LauncherRun::firstLaunchThenDirectStartThenPatches()
{
    TLauncherBed oBed;
    TTestHttpServer oFunnel;
    QVERIFY(oFunnel.start());
    QVERIFY(oBed.setUp());
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.0"), 1).nExitCode, 0);
    QCOMPARE(oBed.publishClient(QStringLiteral("b"), QStringLiteral("1.0"), 2).nExitCode, 0);
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a"), QStringLiteral("b")},
                                {QStringLiteral("--funnel"), oFunnel.url(QStringLiteral("/funnel")).toString()})
                 .nExitCode,
             0);
    QDir().mkpath(oBed.path(QStringLiteral("data/Corvane Online")));

    QCOMPARE(runToEnd(oBed, {QStringLiteral("--first-launch")}), 0);
    for (const QString& sDirectory : {QStringLiteral("a"), QStringLiteral("b")})
        QVERIFY(QFileInfo::exists(oBed.packageFolder(sDirectory) + QStringLiteral("/package.json")));
    QVERIFY(QFileInfo::exists(oBed.packageFolder(QStringLiteral("a")) + QStringLiteral("/default")));
    QVERIFY(!QFileInfo::exists(oBed.packageFolder(QStringLiteral("b")) + QStringLiteral("/default")));
    const QStringList lStart{QStringLiteral("cwd ") + oBed.packageFolder(QStringLiteral("a")) + QStringLiteral("/bin"),
                             QStringLiteral("arg -windowed"), QStringLiteral("arg -force-vulkan")};
    QCOMPARE(oBed.takeClientStart(), lStart + QStringList{QStringLiteral("arg --package-is-up-to-date")});

    // Each step is first once per player, and every event names the player's device.
    QTRY_COMPARE_WITH_TIMEOUT(oFunnel.requests().size(), 5, 30000);
    const QByteArray aDevice = QJsonDocument::fromJson(readTestFile(oBed.path(QStringLiteral("data/Corvane Online/corvaneShared.json"))))
                                   .object().value(QStringLiteral("DeviceIdentifier")).toString().toUtf8();
    QCOMPARE(aDevice.size(), 36);
    QStringList lEvents;
    for (const TRecordedHttpRequest& oRequest : oFunnel.requests()) {
        const QJsonObject oEvent = QJsonDocument::fromJson(oRequest.m_aBody).object();
        QCOMPARE(oEvent.value(QStringLiteral("id")).toString().toUtf8(), aDevice);
        lEvents << oEvent.value(QStringLiteral("step")).toString() + (oEvent.value(QStringLiteral("first")).toBool() ? "+" : "-");
    }
    lEvents.sort();
    QCOMPARE(lEvents, QStringList({"launcher_downloaded+", "launcher_downloaded-", "launcher_started+",
                                   "launcher_verified+", "launcher_verified-"}));

    // The default is current: started at once, and not called verified in a run that did not verify it.
    QCOMPARE(runToEnd(oBed, {}), 0);
    QCOMPARE(oBed.takeClientStart(), lStart);

    // A patch request updates the client, then starts it as current.
    const QString sWorld = QStringLiteral("/CorvaneOnlineClient_Data/world.dat");
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("2.0"), 3).nExitCode, 0);
    QCOMPARE(runToEnd(oBed, {QStringLiteral("--patch"), oBed.clientExecutable(QStringLiteral("a"))}), 0);
    QCOMPARE(oBed.takeClientStart().constLast(), QStringLiteral("arg --package-is-up-to-date"));
    QCOMPARE(readTestFile(oBed.packageFolder(QStringLiteral("a")) + sWorld), readTestFile(oBed.path(QStringLiteral("source/a")) + sWorld));

    // A forced patch finds a damaged file although the markers call the folder current.
    QVERIFY(writeTestFile(oBed.packageFolder(QStringLiteral("a")) + sWorld, "damaged"));
    QVERIFY(writeTestFile(oBed.packageFolder(QStringLiteral("a")) + QStringLiteral("/FORCE_PATCH"), ""));
    {
        const TRunningLauncher oLauncher(oBed, {});
        QTRY_VERIFY_WITH_TIMEOUT(oBed.log().contains(QLatin1String("onInstallationOrUpdateFinished")), 60000);
    }
    QVERIFY(!QFileInfo::exists(oBed.packageFolder(QStringLiteral("a")) + QStringLiteral("/FORCE_PATCH")));
    QCOMPARE(readTestFile(oBed.packageFolder(QStringLiteral("a")) + sWorld), readTestFile(oBed.path(QStringLiteral("source/a")) + sWorld));

    // A patch that cannot be downloaded leaves the window up and starts nothing.
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("3.0"), 4).nExitCode, 0);
    QVERIFY(QDir(oBed.path(QStringLiteral("cdn/a/chunks"))).removeRecursively());
    {
        const TRunningLauncher oLauncher(oBed, {QStringLiteral("--patch"), oBed.clientExecutable(QStringLiteral("a"))});
        QTRY_VERIFY_WITH_TIMEOUT(oBed.log().contains(QLatin1String("all started updates finished")), 60000);
        QVERIFY(oBed.log().contains(QLatin1String("error reason:  1")));
        QCOMPARE(oLauncher.m_oProcess.state(), QProcess::Running);
        QVERIFY(oBed.takeClientStart().isEmpty());
    }

    // Without the CDN the window shows every installed client, the partly
    // installed one too, as a download that stopped half-way leaves it.
    QVERIFY(QFile::rename(oBed.packageFolder(QStringLiteral("b")) + QStringLiteral("/package.json"),
                          oBed.packageFolder(QStringLiteral("b")) + QStringLiteral("/partial-package.json")));
    oBed.nginx().stop();
    // The patch run's log showed a window too: only the offline line tells this run's.
    const TRunningLauncher oOffline(oBed, {QStringLiteral("--show-ui")});
    QTRY_VERIFY2_WITH_TIMEOUT(oBed.log().contains(QLatin1String("Offline: showing installed games: 2")),
                              qPrintable(oBed.log().right(2000)), 30000);
}

void tst_LauncherRun::offlineAndBrokenStarts()
{
    CORVANE_SKIP_WITHOUT_SEAM("boxes answered in the log (CORVANE_MESSAGES=log)");
    TLauncherBed oBed;
    QVERIFY(oBed.setUp());
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.0"), 1, "not json").nExitCode, 0);
    // The launcher's own package names a document that is not there: no self-update, the run goes on.
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a")}, {QStringLiteral("--launcher-url"), QStringLiteral("../nowhere/package.json")})
                 .nExitCode,
             0);
    QCOMPARE(runToEnd(oBed, {QStringLiteral("--first-launch")}), 0);
    // An unreadable client settings file means the safe graphics flag.
    QVERIFY(oBed.takeClientStart().contains(QStringLiteral("arg -force-d3d11")));

    // Without the network the local copy of the metadata and the installed documents serve.
    oBed.nginx().stop();
    QCOMPARE(runToEnd(oBed, {}), 0);
    QVERIFY(oBed.takeClientStart().contains(QStringLiteral("arg -windowed")));

    // A client that cannot be run is said so, and the launcher ends instead of waiting for it.
    QVERIFY(QFile::setPermissions(oBed.clientExecutable(QStringLiteral("a")), QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(oBed.run({}), 1);
    QVERIFY(oBed.log().contains(QLatin1String("message box: Corvane Online cannot start the client")));
    QVERIFY(oBed.takeClientStart().isEmpty());

    // No metadata in time and no local copy: the maintenance box, and below it
    // why: the player's own network, or the service. Each reason has its row in
    // tst_launcherconfiguration; here, that the box tells it, and that the
    // launcher's own settings give the time-out.
    QVERIFY(QFile::remove(oBed.path(QStringLiteral("launcher/launchermetadata.json"))));
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oBed.path(QStringLiteral("cdn"))));
    oServer.setFaultForPrefix(QStringLiteral("launcher/qlxmetadata.json"), EHttpFault::Stall);
    QVERIFY(useMetadataAt(oBed, oServer.url(QStringLiteral("/launcher/qlxmetadata.json"))));
    const QString sDetail = QStringLiteral("Could not connect to 127.0.0.1:%1: no answer within 4 seconds").arg(oServer.port());
    QCOMPARE(oBed.run({}), 1);
    const QString sLog = oBed.log();
    QVERIFY2(sLog.contains(QLatin1String("message box: Corvane Online cannot be started | Corvane Online is currently "
                                         "down for maintenance. Please try again later.")),
             qPrintable(sLog.right(1500)));
    QVERIFY2(sLog.contains(QStringLiteral("message box detail: ") + sDetail), qPrintable(sLog.right(1500)));
    QVERIFY(sLog.contains(QStringLiteral("Download of configuration failed: ") + sDetail));
}

// A launcher that trusts a key installs what that key signed, keeps the serial
// in the player's own state, and names the reason when it refuses.
void tst_LauncherRun::signedMetadataRuns()
{
    CORVANE_SKIP_WITHOUT_SEAM("boxes answered in the log (CORVANE_MESSAGES=log)");
    TLauncherBed oBed;
    QVERIFY(oBed.setUp());
    const QString sKeyFile = oBed.path(QStringLiteral("signing.key"));
    const TToolRun oKeygen = runPublish({QStringLiteral("keygen"), sKeyFile});
    QCOMPARE(oKeygen.nExitCode, 0);
    const QString sSettings = oBed.path(QStringLiteral("launcher/launchersettings.ini"));
    QVERIFY(writeTestFile(sSettings, readTestFile(sSettings) + "\n[SIGNING]\ntrustedKeys=" + oKeygen.sOut.trimmed().toUtf8() + '\n'));
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.0"), 1).nExitCode, 0);
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a")}, {QStringLiteral("--sign"), sKeyFile}).nExitCode, 0);

    QCOMPARE(runToEnd(oBed, {QStringLiteral("--first-launch")}), 0);
    QVERIFY2(oBed.log().contains(QLatin1String("Signed configuration accepted")), qPrintable(oBed.log().right(1500)));
    QVERIFY(!oBed.takeClientStart().isEmpty());
    QVERIFY(QFileInfo::exists(oBed.path(QStringLiteral("launcher/launchermetadata.json.signed"))));

    // Another publisher's signature: no copy of it to fall back on, so the box says why.
    QVERIFY(QFile::remove(oBed.path(QStringLiteral("launcher/launchermetadata.json.signed"))));
    const QString sOtherKey = oBed.path(QStringLiteral("other.key"));
    QCOMPARE(runPublish({QStringLiteral("keygen"), sOtherKey}).nExitCode, 0);
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a")}, {QStringLiteral("--sign"), sOtherKey}).nExitCode, 0);
    QCOMPARE(oBed.run({}), 1);
    QVERIFY2(oBed.log().contains(QLatin1String("The signed metadata was refused: unknown key")), qPrintable(oBed.log().right(1500)));
    QVERIFY(oBed.takeClientStart().isEmpty());
}

// Every chunk fails all its attempts on the first try; "Try again" in the
// download failure box installs on the second, and the first launch goes on
// to start the client.
void tst_LauncherRun::downloadFailureTriedAgain()
{
    CORVANE_SKIP_WITHOUT_SEAM("boxes answered in the log (CORVANE_MESSAGES=log)");
    TLauncherBed oBed;
    QVERIFY(oBed.setUp());
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.0"), 1).nExitCode, 0);
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a")}).nExitCode, 0);
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oBed.path(QStringLiteral("cdn"))));
    oServer.setFaultForPrefix(QStringLiteral("a/chunks/"), EHttpFault::NotFound, 4);
    QVERIFY(useMetadataAt(oBed, oServer.url(QStringLiteral("/launcher/qlxmetadata.json"))));

    qputenv("CORVANE_MESSAGE_ANSWER", "Try again");
    const auto oClearAnswer = qScopeGuard([] { qunsetenv("CORVANE_MESSAGE_ANSWER"); });
    QCOMPARE(runToEnd(oBed, {QStringLiteral("--first-launch")}), 0);
    const QString sLog = oBed.log();
    QVERIFY2(sLog.contains(QLatin1String("message box: Download failed")), qPrintable(sLog.right(3000)));
    QVERIFY(sLog.contains(QLatin1String("message box detail: Download of ")));
    QVERIFY(sLog.contains(QLatin1String("trying the installation of")));
    QVERIFY(QFileInfo::exists(oBed.packageFolder(QStringLiteral("a")) + QStringLiteral("/package.json")));
    const QStringList lClientStart = oBed.takeClientStart();
    QVERIFY(!lClientStart.isEmpty());
    QCOMPARE(lClientStart.constLast(), QStringLiteral("arg --package-is-up-to-date"));
}

void tst_LauncherRun::verificationFailureRepaired_data()
{
    QTest::addColumn<bool>("bClientRunning");
    QTest::newRow("repaired, then started") << false;
    // The road of the Update button: a running client stops the repair.
    QTest::newRow("client running: no repair") << true;
}

// An update that trusts the installed description keeps a large file changed
// behind its back, and the verification after it finds the change; "Repair
// now" in its box goes the way of the package's own button.
void tst_LauncherRun::verificationFailureRepaired()
{
    CORVANE_SKIP_WITHOUT_SEAM("boxes answered in the log (CORVANE_MESSAGES=log)");
    QFETCH(bool, bClientRunning);
    TLauncherBed oBed;
    QVERIFY(oBed.setUp());
    // Files an update kept without reading are hashed after it.
    const QString sLauncherSettings = oBed.path(QStringLiteral("launcher/launchersettings.ini"));
    QVERIFY(writeTestFile(sLauncherSettings, readTestFile(sLauncherSettings) + "\n[OPTIONS]\nskipVerification=false\n"));
    const QByteArray aSettings = "{\"GraphicsAPI\": 2}";
    const int nLarge = 24 << 20;
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.0"), 1, aSettings, nLarge).nExitCode, 0);
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a")}).nExitCode, 0);
    QCOMPARE(runToEnd(oBed, {QStringLiteral("--first-launch")}), 0);
    oBed.takeClientStart();

    // The same size, one byte changed; the next version has the same files.
    const QString sLarge = oBed.packageFolder(QStringLiteral("a")) + QStringLiteral("/CorvaneOnlineClient_Data/large.dat");
    QByteArray aLarge = readTestFile(sLarge);
    QCOMPARE(aLarge.size(), nLarge);
    aLarge[nLarge / 2] = char(~aLarge[nLarge / 2]);
    QVERIFY(writeTestFile(sLarge, aLarge));
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("2.0"), 1, aSettings, nLarge).nExitCode, 0);

    QProcess oClient;
    const auto oEndClient = qScopeGuard([&oClient] {
        oClient.kill();
        oClient.waitForFinished();
    });
    if (bClientRunning) {
        QProcessEnvironment oEnvironment = QProcessEnvironment::systemEnvironment();
        oEnvironment.insert(QStringLiteral("CORVANE_DEMO_CLIENT_SECONDS"), QStringLiteral("120"));
        oClient.setProcessEnvironment(oEnvironment);
        oClient.start(builtExecutable(QStringLiteral("corvane-demo-client")), QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(isClientRunning(), 30000);
    }
    qputenv("CORVANE_MESSAGE_ANSWER", "Repair now");
    const auto oClearAnswer = qScopeGuard([] { qunsetenv("CORVANE_MESSAGE_ANSWER"); });
    const QStringList lPatch{QStringLiteral("--patch"), oBed.clientExecutable(QStringLiteral("a"))};
    if (!bClientRunning) {
        QCOMPARE(runToEnd(oBed, lPatch), 0);
        QCOMPARE(readTestFile(sLarge), readTestFile(oBed.path(QStringLiteral("source/a/CorvaneOnlineClient_Data/large.dat"))));
        const QStringList lClientStart = oBed.takeClientStart();
        QVERIFY(!lClientStart.isEmpty());
        QCOMPARE(lClientStart.constLast(), QStringLiteral("arg --package-is-up-to-date"));
    } else {
        const TRunningLauncher oLauncher(oBed, lPatch);
        QTRY_VERIFY2_WITH_TIMEOUT(oBed.log().contains(QLatin1String("message box: Corvane Online update failed")),
                                  qPrintable(oBed.log().right(3000)), 60000);
    }
    const QString sLog = oBed.log();
    QVERIFY2(sLog.contains(QLatin1String("message box detail: \"CorvaneOnlineClient_Data/large.dat\" differs from the "
                                         "published file.")),
             qPrintable(sLog.right(3000)));
    QVERIFY(sLog.contains(QLatin1String("message box answer: Repair now")));
    QCOMPARE(sLog.count(QStringLiteral("installOrUpdatePackage:")), bClientRunning ? 1 : 2);
}

void tst_LauncherRun::graphicsFlag_data()
{
    QTest::addColumn<QByteArray>("aSettings");
    QTest::addColumn<QString>("sFlag");
    QTest::newRow("2") << QByteArray("{\"GraphicsAPI\": 2}") << "-force-vulkan";
    QTest::newRow("1.0") << QByteArray("{\"GraphicsAPI\": 1.0}") << "-force-d3d12";
    // Only a number names an interface.
    QTest::newRow("text \"2\"") << QByteArray("{\"GraphicsAPI\": \"2\"}") << "-force-d3d11";
    QTest::newRow("true") << QByteArray("{\"GraphicsAPI\": true}") << "-force-d3d11";
    QTest::newRow("2^32 + 2") << QByteArray("{\"GraphicsAPI\": 4294967298}") << "-force-d3d11";
    QTest::newRow("1.5") << QByteArray("{\"GraphicsAPI\": 1.5}") << "-force-d3d11";
    QTest::newRow("missing") << QByteArray("{\"graphicsapi\": 2}") << "-force-d3d11";
}

void tst_LauncherRun::graphicsFlag()
{
    QFETCH(QByteArray, aSettings);
    QFETCH(QString, sFlag);
    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("settings.json"));
    QVERIFY(writeTestFile(sPath, aSettings));
    QCOMPARE(clientArguments({QStringLiteral("-windowed")}, readGraphicsApi(sPath), true),
             QStringList({QStringLiteral("-windowed"), sFlag, QStringLiteral("--package-is-up-to-date")}));
}

void tst_LauncherRun::selfUpdate_data()
{
    QTest::addColumn<QString>("sBreak");
    QTest::addColumn<int>("nExitCode");
    QTest::addColumn<QString>("sLogLine");
    // The restarted launcher is the new one: it cleans up, installs and starts the client.
    QTest::newRow("replaces the launcher and restarts") << "" << 0 << "cleanupOldLauncherVersion";
    // A failed update: the run goes on with the launcher it has...
    QTest::newRow("chunks missing") << "chunks" << 0 << "Updating Corvane Online failed: Error 1";
    QTest::newRow("package would replace the settings") << "settings" << 0 << "Updating Corvane Online failed: Error 4";
    // ...or a file error ends it with its box, instead of an update splash that never closes.
    QTest::newRow("file error") << "disk" << 1 << "message box: Corvane Online cannot start";
}

void tst_LauncherRun::selfUpdate()
{
    QFETCH(QString, sBreak);
    QFETCH(int, nExitCode);
    QFETCH(QString, sLogLine);
    if (nExitCode != 0)
        CORVANE_SKIP_WITHOUT_SEAM("boxes answered in the log (CORVANE_MESSAGES=log)");
    TLauncherBed oBed;
    QVERIFY(oBed.setUp());
    const QByteArray aSettings = readTestFile(oBed.path(QStringLiteral("launcher/launchersettings.ini")));
    QString sExtra;
    if (sBreak == QLatin1String("settings"))
        sExtra = QStringLiteral("launchersettings.ini");
    if (sBreak == QLatin1String("disk")) {
        // A changed file whose staging copy cannot be written.
        sExtra = QStringLiteral("extra.txt");
        QVERIFY(writeTestFile(oBed.path(QStringLiteral("launcher/extra.txt")), "old\n"));
    }
    // A changed file in a subfolder is kept as ".old" too; ".old" files that are
    // not the launcher's own stay.
    const QStringList lOwnOldFiles{QStringLiteral("launcher/mine.old"), QStringLiteral("launcher/lib/mine.old"),
                                   QStringLiteral("launcher/packages/README.txt.old")};
    if (sBreak.isEmpty()) {
        sExtra = QStringLiteral("lib/extra.txt");
        QVERIFY(writeTestFile(oBed.path(QStringLiteral("launcher/lib/extra.txt")), "old\n"));
        for (const QString& sOwn : lOwnOldFiles)
            QVERIFY(writeTestFile(oBed.path(sOwn), "the player's\n"));
    }
    const QString sNext = builtExecutable(QStringLiteral("corvane-launcher-next"));
    QCOMPARE(oBed.publishLauncher(sNext, QStringLiteral("0.0.15"), sExtra).nExitCode, 0);
    if (sBreak == QLatin1String("chunks"))
        QVERIFY(QDir(oBed.path(QStringLiteral("cdn/launcherpackage/chunks"))).removeRecursively());
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.0"), 1).nExitCode, 0);
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a")}).nExitCode, 0);

    if (sBreak == QLatin1String("disk"))
        qputenv("CORVANE_FAIL_FILE_OP", "1:EIO:/extra.txt.new");
    const auto oClearFault = qScopeGuard([] { qunsetenv("CORVANE_FAIL_FILE_OP"); });
    QCOMPARE(oBed.run({QStringLiteral("--first-launch")}), nExitCode);
    // The restarted launcher is no child of the test: the start of its client shows
    // it has run (the old one may still write "exit code" into the new log).
    if (sBreak.isEmpty())
        QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo::exists(oBed.path(QStringLiteral("client.txt")))
                                      && oBed.log().contains(QLatin1String("Version:  \"0.0.15\"")),
                                  qPrintable(oBed.log().right(3000)), 90000);
    QTRY_VERIFY_WITH_TIMEOUT(!isClientRunning(), 30000);
    QVERIFY2(oBed.log().contains(sLogLine), qPrintable(oBed.log().right(1500)));
    QCOMPARE(readTestFile(oBed.launcherExecutable()),
             readTestFile(sBreak.isEmpty() ? sNext : builtExecutable(QStringLiteral("corvane-launcher"))));
    QCOMPARE(QFileInfo::exists(oBed.path(QStringLiteral("launcher/README.txt"))), sBreak.isEmpty());
    QCOMPARE(readTestFile(oBed.path(QStringLiteral("launcher/launchersettings.ini"))), aSettings);
    QVERIFY(!QFileInfo::exists(oBed.launcherExecutable() + QStringLiteral(".old")));
    if (sBreak.isEmpty()) {
        QVERIFY(!QFileInfo::exists(oBed.path(QStringLiteral("launcher/lib/extra.txt.old"))));
        for (const QString& sOwn : lOwnOldFiles)
            QVERIFY2(QFileInfo::exists(oBed.path(sOwn)), qPrintable(sOwn));
    } else {
        // The update splash is gone before the window or the box shows.
        const QString sLog = oBed.log();
        // It names the version it was updating to.
        const int nShown = sLog.indexOf(QLatin1String("splash screen shown: 1 Updating the launcher to version 0.0.15"));
        const int nHidden = sLog.indexOf(QLatin1String("splash screen hidden"), nShown);
        const int nNext = sLog.indexOf(nExitCode == 0 ? QStringLiteral("main window shown") : sLogLine);
        QVERIFY2(nShown >= 0 && nHidden > nShown && nHidden < nNext, qPrintable(sLog.right(3000)));
    }
    const QStringList lClientStart = oBed.takeClientStart();
    QCOMPARE(lClientStart.isEmpty(), nExitCode != 0);
    if (nExitCode == 0)
        QCOMPARE(lClientStart.constLast(), QStringLiteral("arg --package-is-up-to-date"));
}

void tst_LauncherRun::oneRunPerLauncherFolder()
{
    TLauncherBed oFirst;
    TLauncherBed oOther;
    // One user's two launcher folders.
    oOther.shareTemporaryFolder(oFirst);
    for (TLauncherBed* pBed : {&oFirst, &oOther}) {
        QVERIFY(pBed->setUp());
        QCOMPARE(pBed->publishClient(QStringLiteral("a"), QStringLiteral("1.0"), 1).nExitCode, 0);
        QCOMPARE(pBed->writeMetadata({QStringLiteral("a")}).nExitCode, 0);
    }
    const TRunningLauncher oRunning(oFirst, {QStringLiteral("--show-ui")});
    QTRY_VERIFY_WITH_TIMEOUT(oFirst.log().contains(QLatin1String("main window shown")), 30000);

    // A second start on the same folder ends at once, leaves the first one's log
    // alone and brings the first one's window to the front.
    const QLatin1String sRaised("another start was refused; raised the window");
    QCOMPARE(oFirst.run({QStringLiteral("--show-ui")}, 30000, false), 0);
    QVERIFY(oFirst.log().contains(QLatin1String("main window shown")));
    QTRY_COMPARE_WITH_TIMEOUT(oFirst.log().count(sRaised), 1, 30000);

    // A player with a launcher folder of their own is not kept out.
    const TRunningLauncher oOtherRunning(oOther, {QStringLiteral("--show-ui")});
    QTRY_VERIFY_WITH_TIMEOUT(oOther.log().contains(QLatin1String("main window shown")), 30000);
    // A second start there is the other launcher's to answer, never the first one's.
    QCOMPARE(oOther.run({QStringLiteral("--show-ui")}, 30000, false), 0);
    QTRY_COMPARE_WITH_TIMEOUT(oOther.log().count(sRaised), 1, 30000);
    QCOMPARE(oFirst.log().count(sRaised), 1);
    // Nor does the later of the two take over the first one's starts.
    QCOMPARE(oFirst.run({QStringLiteral("--show-ui")}, 30000, false), 0);
    QTRY_COMPARE_WITH_TIMEOUT(oFirst.log().count(sRaised), 2, 30000);
    QCOMPARE(oOther.log().count(sRaised), 1);
}

// An open window refreshes the documents: a new version shows as Update, and a
// refresh that fails changes nothing.
void tst_LauncherRun::openWindowLearnsOfNewVersions()
{
    TLauncherBed oBed;
    QVERIFY(oBed.setUp({QStringLiteral("downloadErrorTimeout=4000"), QStringLiteral("metadataRefreshInterval=1")}));
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.0.0"), 1).nExitCode, 0);
    QCOMPARE(oBed.writeMetadata({QStringLiteral("a")}).nExitCode, 0);
    QCOMPARE(runToEnd(oBed, {QStringLiteral("--first-launch")}), 0);

    const TRunningLauncher oLauncher(oBed, {QStringLiteral("--show-ui")});
    QTRY_VERIFY2_WITH_TIMEOUT(oBed.log().contains(QLatin1String("metadata refresh finished: 1")),
                              qPrintable(oBed.log().right(2000)), 30000);
    QVERIFY(!oBed.log().contains(QLatin1String("metadata refresh: Client a status")));

    // Up to date (4) until the new version is published, then Update (3).
    QCOMPARE(oBed.publishClient(QStringLiteral("a"), QStringLiteral("1.1.0"), 2).nExitCode, 0);
    QTRY_VERIFY2_WITH_TIMEOUT(oBed.log().contains(QLatin1String("metadata refresh: Client a status 4 -> 3")),
                              qPrintable(oBed.log().right(2000)), 30000);
    // Nothing of the start-up comes again.
    QCOMPARE(oBed.log().count(QLatin1String("main configuration loaded")), 1);
    QCOMPARE(oBed.log().count(QLatin1String("onLauncherReadyForAction")), 1);

    oBed.nginx().stop();
    const int nBefore = oBed.log().size();
    QTRY_VERIFY2_WITH_TIMEOUT(oBed.log().mid(nBefore).count(QLatin1String("metadata refresh failed, nothing changed")) >= 2,
                              qPrintable(oBed.log().right(2000)), 30000);
    QVERIFY(!oBed.log().mid(nBefore).contains(QLatin1String("metadata refresh: Client a status")));
    QCOMPARE(oLauncher.m_oProcess.state(), QProcess::Running);
}

void tst_LauncherRun::fatalIsWrittenBeforeAbort()
{
    QTemporaryDir oDir;
    QProcess oChild;
    startChild(oChild, QStringLiteral("log-then-die"), {oDir.path()});
    QVERIFY(oChild.waitForFinished(30000));
    QCOMPARE(oChild.exitStatus(), QProcess::CrashExit);

    const QStringList lLines = QString::fromUtf8(readTestFile(oDir.filePath(QStringLiteral("child.log"))))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lLines.size(), 2);
    QVERIFY2(lLines.at(0).endsWith(QStringLiteral(") Info: before the end")), qPrintable(lLines.at(0)));
    QVERIFY2(lLines.at(1).endsWith(QStringLiteral(") Fatal: the end 42")), qPrintable(lLines.at(1)));
}

void tst_LauncherRun::linesFromManyThreadsStayWhole()
{
    // A restarted launcher starts its log afresh.
    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("threads.log"));
    QVERIFY(writeTestFile(sPath, "a line of the previous run\n"));
    setupLogging(oDir.path(), QStringLiteral("threads"));

    constexpr int kThreads = 8;
    constexpr int kLinesEach = 200;
    QList<QFuture<void>> lFutures;
    for (int nThread = 0; nThread < kThreads; ++nThread) {
        lFutures << QtConcurrent::run([nThread] {
            for (int i = 0; i < kLinesEach; ++i)
                qInfo().noquote() << QStringLiteral("thread %1 line %2 ").arg(nThread).arg(i) + QString(100, QLatin1Char('x'));
        });
    }
    for (QFuture<void>& oFuture : lFutures)
        oFuture.waitForFinished();
    qInstallMessageHandler(nullptr);

    const QStringList lLines = QString::fromUtf8(readTestFile(sPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lLines.size(), kThreads * kLinesEach);
    const QRegularExpression oPattern(kLinePattern);
    for (const QString& sLine : lLines)
        QVERIFY2(oPattern.match(sLine).hasMatch() && sLine.endsWith(QString(100, QLatin1Char('x'))), qPrintable(sLine));
}

CORVANE_TEST_MAIN_WITH_CHILDREN(tst_LauncherRun, {"log-then-die", logThenDie})
#include "tst_launcherrun.moc"
