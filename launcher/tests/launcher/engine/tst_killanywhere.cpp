// corvane-install killed as kill -9 kills, at seeded random moments of an
// install, an update and a verification, from a server slow enough to be caught
// mid-transfer; each time the next run must finish the job: the folder byte for
// byte as published, the markers true at every moment, and no chunk fetched
// that the broken-off run had already put in its place.

#include "installbed.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <signal.h>

#include <random>

namespace {

constexpr int kKillsPerCommand = 4;

// A file shifted by a few bytes, one edited inside, one that grows, small files
// changed, gone and new: every way the engine reuses what lies on disk.
void writeVersion(TInstallBed& oBed, int nVersion)
{
    const bool bTwo = nVersion == 2;
    const QByteArray aWorld = noiseBytes(20 << 20, 21);
    QByteArray aMusic = noiseBytes(14 << 20, 22);
    if (bTwo)
        aMusic.replace(7 << 20, 4096, noiseBytes(4096, 23));
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\necho running\n", true);
    oBed.writeSource(QStringLiteral("bin/libgame.so"), noiseBytes(300000, bTwo ? 25 : 24));
    oBed.writeSource(QStringLiteral("data/world.pak"), bTwo ? "PATCH" + aWorld : aWorld);
    oBed.writeSource(QStringLiteral("data/music.ogg"), aMusic);
    oBed.writeSource(QStringLiteral("data/voice.pak"), noiseBytes(bTwo ? 12 << 20 : 8 << 20, 26));
    oBed.writeSource(QStringLiteral("empty.cfg"), QByteArray());
    QFile::remove(oBed.source() + (bTwo ? QStringLiteral("/data/old.txt") : QStringLiteral("/data/new.txt")));
    oBed.writeSource(bTwo ? QStringLiteral("data/new.txt") : QStringLiteral("data/old.txt"), "a small file\n");
}

// Runs corvane-install with its engine's log on standard error and kills it as
// soon as it has written nKillAtLine lines (never, for 0); *pLines counts them,
// sErr keeps the end of the log.
TToolRun runKilledAtLine(TInstallBed& oBed, const QString& sCommand, int nKillAtLine, int* pLines = nullptr)
{
    QProcess oProcess;
    oBed.startInstall(oProcess, sCommand, QProcessEnvironment(), {QStringLiteral("--verbose")});
    oProcess.setReadChannel(QProcess::StandardError);
    TToolRun oRun;
    int nLines = 0;
    if (!oProcess.waitForStarted())
        return oRun;
    do {
        while (oProcess.canReadLine()) {
            oRun.sErr = (oRun.sErr + QString::fromUtf8(oProcess.readLine())).right(4000);
            if (++nLines == nKillAtLine)
                ::kill(pid_t(oProcess.processId()), SIGKILL);
        }
    } while (oProcess.waitForReadyRead(120000));
    oProcess.waitForFinished(120000);
    oRun.bKilled = oProcess.exitStatus() == QProcess::CrashExit;
    oRun.nExitCode = oRun.bKilled ? -1 : oProcess.exitCode();
    if (pLines)
        *pLines = nLines;
    return oRun;
}

} // namespace

class tst_KillAnywhere : public QObject
{
    Q_OBJECT

private slots:
    void killedRunsResume();
};

void tst_KillAnywhere::killedRunsResume()
{
    const quint64 nSeed = qEnvironmentVariableIsSet("CORVANE_KILL_SEED")
                              ? qEnvironmentVariable("CORVANE_KILL_SEED").toULongLong()
                              : QRandomGenerator::global()->generate64();
    qInfo("kill-anywhere seed %llu (CORVANE_KILL_SEED=%llu replays it)", nSeed, nSeed);
    std::mt19937_64 oRandom(nSeed);

    TInstallBed oBed;
    // The runs that are killed fetch chunks slowly, so that kills fall amid
    // transfers too; the resuming runs fetch from a server of their own, whose
    // log holds their requests only.
    QVERIFY2(oBed.serve(QStringLiteral("location /live/chunks/ { limit_rate 16m; }")), qPrintable(oBed.nginx().errorString()));
    TNginxServer oResumeServer;
    QVERIFY2(oResumeServer.start(oBed.cdn()), qPrintable(oResumeServer.errorString()));

    writeVersion(oBed, 1);
    const TPublishedVersion oOne = oBed.publishVersion(QStringLiteral("1"), QStringLiteral("store"));
    QVERIFY(!oOne.m_aPackage.isEmpty());
    // Version 1 installed once; each update and verification starts from a copy.
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install")), 0);
    QVERIFY(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), oBed.folder(), oBed.path(QStringLiteral("one"))}) == 0);
    writeVersion(oBed, 2);
    const TPublishedVersion oTwo = oBed.publishVersion(QStringLiteral("2"), QStringLiteral("store"));
    QVERIFY(!oTwo.m_aPackage.isEmpty());
    // Every run to be killed starts afresh, from the slow server.
    const auto fnPrepare = [&](const QString& sCommand) {
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), oBed.folder()});
        if (sCommand != QLatin1String("install"))
            QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), oBed.path(QStringLiteral("one")), oBed.folder()});
        oBed.serveFrom(oBed.nginx().url(QStringLiteral("/")));
    };

    int nKills = 0;
    for (const QString& sCommand : {QStringLiteral("install"), QStringLiteral("update"), QStringLiteral("verify")}) {
        const TPublishedVersion& oTarget = sCommand == QLatin1String("verify") ? oOne : oTwo;
        const QUrl oBase(QStringLiteral("http://x/live/"));
        const velmar::launcher::TPackageConfigurationReader oReader(oTarget.m_aPackage, oTarget.m_aAssets, oBase, oBase);
        // A whole run first, for the length of its log.
        fnPrepare(sCommand);
        int nLines = 0;
        const TToolRun oWhole = runKilledAtLine(oBed, sCommand, 0, &nLines);
        QVERIFY2(oWhole.nExitCode == 0, qPrintable(oWhole.sErr));
        for (int nTry = 0; nTry < kKillsPerCommand; ++nTry) {
            const int nKillAt = int(std::uniform_int_distribution<int>(1, nLines - 1)(oRandom));
            const QString sCase = QStringLiteral("%1 killed at log line %2 of %3, seed %4").arg(sCommand).arg(nKillAt).arg(nLines).arg(nSeed);
            fnPrepare(sCommand);
            const TToolRun oKilled = runKilledAtLine(oBed, sCommand, nKillAt);
            nKills += oKilled.bKilled;
            QVERIFY2(oKilled.bKilled || oKilled.nExitCode == 0, qPrintable(sCase + QLatin1Char('\n') + oKilled.sErr));
            QVERIFY2(oBed.markerUntruth({oOne, oTwo}).isEmpty(), qPrintable(sCase + QStringLiteral(": ") + oBed.markerUntruth({oOne, oTwo})));
            const QSet<QString> lInPlace = TInstallBed::addressesInPlace(oBed.folder(), oReader);

            oBed.serveFrom(oResumeServer.url(QStringLiteral("/")));
            const int nServedBefore = oResumeServer.servedPaths().size();
            const TToolRun oResumed = oBed.install(sCommand == QLatin1String("install") ? QStringLiteral("update") : sCommand);
            QVERIFY2(oResumed.nExitCode == 0, qPrintable(sCase + QLatin1Char('\n') + oResumed.describe()));
            QVERIFY2(oBed.notInstalled(oTarget).isEmpty(), qPrintable(sCase + QStringLiteral(": ") + oBed.notInstalled(oTarget)));
            const QStringList lServed = oResumeServer.servedPaths().mid(nServedBefore);
            const QStringList lRefetched = QSet<QString>(lServed.begin(), lServed.end()).intersect(lInPlace).values();
            QVERIFY2(lRefetched.isEmpty(), qPrintable(sCase + QStringLiteral(": fetched again ") + lRefetched.join(QLatin1Char(' '))));
        }
    }
    qInfo("%d runs killed", nKills);
    QVERIFY(nKills >= 8);
}

QTEST_GUILESS_MAIN(tst_KillAnywhere)
#include "tst_killanywhere.moc"
