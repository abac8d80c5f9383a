// Every file operation of a small install and update fails in turn, once per
// run, alternately with EIO and ENOSPC: the run ends with exit 1 naming the file
// (or gets past the fault and ends sound), the markers never claim a version the
// folder does not hold, and the next run without the fault leaves the folder
// exactly as published.

#include "installbed.h"
#include "testseams.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

namespace {

// File operations a sweep tries per run; of more, a seeded sample.
constexpr int kMaximumSweep = 40;

// The file the seam made fail, from its line on standard error; empty when it did not fire.
QString failedFile(const QString& sErr)
{
    static const QRegularExpression s_oLine(QStringLiteral("CORVANE_FAIL_FILE_OP: operation \\d+ \\([a-z ]+ of (.*)\\) fails with"));
    const QRegularExpressionMatch oMatch = s_oLine.match(sErr);
    return oMatch.hasMatch() ? oMatch.captured(1) : QString();
}

} // namespace

class tst_FileFaults : public QObject
{
    Q_OBJECT

private slots:
    void everyFileOperationFails_data();
    void everyFileOperationFails();
};

void tst_FileFaults::everyFileOperationFails_data()
{
    QTest::addColumn<bool>("bUpdate");
    QTest::newRow("install") << false;
    QTest::newRow("update") << true;
}

void tst_FileFaults::everyFileOperationFails()
{
    CORVANE_SKIP_WITHOUT_SEAM("failing file operations (CORVANE_FAIL_FILE_OP)");
    QFETCH(bool, bUpdate);
    TInstallBed oBed;
    QVERIFY2(oBed.serve(), qPrintable(oBed.nginx().errorString()));
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    oBed.writeSource(QStringLiteral("bin/game.cfg"), "quality=high\n");
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(9 << 20, 1));
    oBed.writeSource(QStringLiteral("data/old.txt"), "goes away\n");
    const TPublishedVersion oOne = oBed.publishVersion(QStringLiteral("1"));
    QVERIFY(!oOne.m_aPackage.isEmpty());
    const QString sStart = oBed.path(QStringLiteral("start"));
    if (bUpdate) {
        QCOMPARE(oBed.install(QStringLiteral("install")).nExitCode, 0);
        QVERIFY(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), oBed.folder(), sStart}) == 0);
    }
    // Version 2 shifts the big file, changes, drops and adds small ones.
    oBed.writeSource(QStringLiteral("data/world.pak"), "PATCH" + noiseBytes(9 << 20, 1));
    oBed.writeSource(QStringLiteral("bin/game.cfg"), "quality=low\n");
    QFile::remove(oBed.source() + QStringLiteral("/data/old.txt"));
    oBed.writeSource(QStringLiteral("data/new.txt"), "arrives\n");
    const TPublishedVersion oTwo = oBed.publishVersion(QStringLiteral("2"));
    QVERIFY(!oTwo.m_aPackage.isEmpty());
    const QString sCommand = bUpdate ? QStringLiteral("update") : QStringLiteral("install");

    // A counting run first; beyond kMaximumSweep operations a seeded sample of
    // them is tried (CORVANE_FAULT_SEED repeats one, CORVANE_FULL_FAULT_SWEEP=1 tries all).
    // Each run starts from the same folder: empty, or version 1 installed.
    const auto fnRunFailing = [&](const QString& sFault) {
        QDir(oBed.folder()).removeRecursively();
        if (bUpdate && QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), sStart, oBed.folder()}) != 0)
            return TToolRun();
        QProcessEnvironment oFault;
        oFault.insert(QStringLiteral("CORVANE_FAIL_FILE_OP"), sFault);
        return oBed.install(sCommand, QString(), {}, false, oFault);
    };
    const TToolRun oCount = fnRunFailing(QStringLiteral("1000000:EIO"));
    QVERIFY2(oCount.nExitCode == 0, qPrintable(oCount.describe()));
    const int nCount = QRegularExpression(QStringLiteral("the run had (\\d+)")).match(oCount.sErr).captured(1).toInt();
    QVERIFY(nCount > 0);
    QList<int> lOperations;
    for (int nOperation = 1; nOperation <= nCount + 1; ++nOperation)
        lOperations << nOperation;
    const bool bSample = nCount > kMaximumSweep && qgetenv("CORVANE_FULL_FAULT_SWEEP") != "1";
    if (bSample) {
        const quint32 nSeed = qEnvironmentVariableIsSet("CORVANE_FAULT_SEED") ? quint32(qEnvironmentVariableIntValue("CORVANE_FAULT_SEED"))
                                                                             : QRandomGenerator::global()->generate();
        qInfo() << "trying" << kMaximumSweep << "of" << nCount << "file operations, CORVANE_FAULT_SEED=" << nSeed;
        QRandomGenerator oRandom(nSeed);
        std::shuffle(lOperations.begin(), lOperations.end(), oRandom);
        lOperations = lOperations.mid(0, kMaximumSweep);
    }

    int nFired = 0;
    for (int nIndex = 0; nIndex < lOperations.size(); ++nIndex) {
        const int nOperation = lOperations[nIndex];
        const QString sFault = QStringLiteral("%1:%2").arg(nOperation).arg(nOperation % 2 ? QStringLiteral("EIO") : QStringLiteral("ENOSPC"));
        // A crash fails below, as neither 0 nor 1.
        const TToolRun oRun = fnRunFailing(sFault);
        const QString sFile = failedFile(oRun.sErr);
        const QString sCase = sFault + QLatin1Char('\n') + oRun.sErr;
        if (sFile.isEmpty()) {
            // A run with no N-th operation: the sweep has tried them all.
            QVERIFY2(oRun.nExitCode == 0 && oBed.installedAsPublished(), qPrintable(sCase));
            if (bSample)
                continue;
            break;
        }
        ++nFired;
        // Runs differ a little in their count: a full sweep goes on until one has no N left.
        if (!bSample && nIndex + 1 == lOperations.size())
            lOperations << nOperation + 1;
        if (oRun.nExitCode == 0) {
            QVERIFY2(oBed.installedAsPublished(), qPrintable(sCase));
        } else {
            QVERIFY2(oRun.nExitCode == 1, qPrintable(sCase));
            const QString sReason = oRun.sErr.section(QStringLiteral("corvane-install: "), -1).trimmed();
            QVERIFY2(sReason.contains(sFile), qPrintable(sCase));
        }
        const QString sUntruth = oBed.markerUntruth({oOne, oTwo});
        QVERIFY2(sUntruth.isEmpty(), qPrintable(sUntruth + QLatin1Char('\n') + sCase));

        const TToolRun oAgain = oBed.install(sCommand);
        const QString sNotInstalled = oBed.notInstalled(oTwo);
        QVERIFY2(oAgain.nExitCode == 0 && sNotInstalled.isEmpty(), qPrintable(sCase + oAgain.describe() + sNotInstalled));
    }
    qInfo() << sCommand << "met a failure of" << nFired << "of its" << nCount << "file operations, each in a run of its own";
}

QTEST_GUILESS_MAIN(tst_FileFaults)
#include "tst_filefaults.moc"
