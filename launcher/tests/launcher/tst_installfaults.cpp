// The install engine against a server that breaks answers: what a retry can
// mend ends installed, the rest fails cleanly with the package left partial.

#include "testhttpserver.h"
#include "installbed.h"

class tst_InstallFaults : public QObject
{
    Q_OBJECT

private slots:
    void brokenAnswers_data();
    void brokenAnswers();
};

void tst_InstallFaults::brokenAnswers_data()
{
    QTest::addColumn<int>("nFault");
    QTest::addColumn<int>("nTimes");
    QTest::addColumn<bool>("bInstalls");
    QTest::newRow("404") << int(EHttpFault::NotFound) << -1 << false;
    QTest::newRow("500 three times") << int(EHttpFault::ServerError) << 3 << true;
    QTest::newRow("reset once") << int(EHttpFault::ResetMidway) << 1 << true;
    QTest::newRow("truncated") << int(EHttpFault::Truncate) << -1 << false;
    QTest::newRow("wrong bytes three times") << int(EHttpFault::WrongBytes) << 3 << true;
    QTest::newRow("wrong bytes") << int(EHttpFault::WrongBytes) << -1 << false;
    QTest::newRow("stalled once") << int(EHttpFault::Stall) << 1 << true;
    QTest::newRow("too long") << int(EHttpFault::OverLong) << -1 << false;
}

void tst_InstallFaults::brokenAnswers()
{
    QFETCH(int, nFault);
    QFETCH(int, nTimes);
    QFETCH(bool, bInstalls);
    TInstallBed oBed;
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(9 << 20, 2));
    oBed.writeSource(QStringLiteral("data/small.txt"), "small\n");
    // Stored chunks: a wrong byte makes a wrong hash, which is retried.
    QVERIFY(oBed.publish(QStringLiteral("1"), QStringLiteral("store")).nExitCode == 0);
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oBed.cdn()));
    oBed.serveFrom(oServer.url(QString()));
    oServer.setFaultForPrefix(QStringLiteral("live/chunks/"), EHttpFault(nFault), nTimes);
    // A stalled transfer is given up after a second here, not half a minute.
    QByteArray aSettings = readTestFile(QStringLiteral(CORVANE_SOURCE_DIR "/launcher/resources/settings/launchersettings.ini"));
    aSettings.replace("[TIMING]\n", "[TIMING]\nstallTimeout=1000\n");
    QVERIFY(writeTestFile(oBed.path(QStringLiteral("settings.ini")), aSettings));

    const TToolRun oRun = oBed.install(QStringLiteral("install"), QString(),
                                       {QStringLiteral("--settings"), oBed.path(QStringLiteral("settings.ini"))});
    if (bInstalls) {
        QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
        QVERIFY(oBed.installedAsPublished());
        return;
    }
    QVERIFY2(oRun.nExitCode == 1, qPrintable(oRun.describe()));
    QVERIFY2(oRun.sErr.contains(QLatin1String("live/chunks/")), qPrintable(oRun.sErr));
    QVERIFY(QFileInfo::exists(oBed.folder() + QStringLiteral("/partial-package.json")));
    QVERIFY(!QFileInfo::exists(oBed.folder() + QStringLiteral("/package.json")));
    // At most four attempts per chunk (a request on a connection the server had
    // just closed may fail before the server sees it), then the chunk is given up.
    const auto lRequests = oServer.requests();
    const QString sChunk = std::find_if(lRequests.begin(), lRequests.end(), [](const TRecordedHttpRequest& oRequest) {
                               return oRequest.path().startsWith(QLatin1String("live/chunks/"));
                           })->path();
    const auto nAttempts = std::count_if(lRequests.begin(), lRequests.end(),
                                         [&](const TRecordedHttpRequest& oRequest) { return oRequest.path() == sChunk; });
    QVERIFY(nAttempts >= 2 && nAttempts <= 4);
}

QTEST_GUILESS_MAIN(tst_InstallFaults)
#include "tst_installfaults.moc"
