// Time left of a running installation: it must settle near the truth and stay
// there although the bytes arrive in bursts, and never divide by zero.

#include "shared/etaestimator.h"

#include <QTest>

#include <cmath>

using namespace shared;

class tst_EtaEstimator : public QObject
{
    Q_OBJECT

private slots:
    void settlesNearTheTruthAndStays_data();
    void settlesNearTheTruthAndStays();
    void stallsAndRetriesGiveNoAbsurdFigures();
};

void tst_EtaEstimator::settlesNearTheTruthAndStays_data()
{
    QTest::addColumn<double>("fBytesPerSecond");
    QTest::addColumn<int>("nBurstMilliseconds");
    QTest::newRow("steady 2 MB/s") << 2e6 << 100;
    QTest::newRow("bursts every 700 ms") << 2e6 << 700;
    QTest::newRow("slow line in 2 s bursts") << 30e3 << 2000;
}

void tst_EtaEstimator::settlesNearTheTruthAndStays()
{
    QFETCH(double, fBytesPerSecond);
    QFETCH(int, nBurstMilliseconds);
    const TFileSize nTotal = TFileSize(fBytesPerSecond * 120);
    TEtaEstimator oEstimator;
    double fWorst = 0;
    // Progress is reported every 100 ms; the bytes arrive whole bursts at a time.
    for (qint64 nNow = 0; nNow <= 110000; nNow += 100) {
        const qint64 nArrived = nNow / nBurstMilliseconds * nBurstMilliseconds;
        const TFileSize nDone = TFileSize(fBytesPerSecond * double(nArrived) / 1000.0);
        oEstimator.addSample(nNow, nDone);
        // What is left at the true rate: bursts make the count lag the clock,
        // which no estimate from the count can know.
        const double fTruth = double(nTotal - nDone) / fBytesPerSecond;
        if (nNow >= 6000) {
            const double fLeft = oEstimator.secondsLeft(nTotal);
            QVERIFY2(fLeft >= 0, qPrintable(QStringLiteral("no estimate at %1 ms").arg(nNow)));
            fWorst = std::max(fWorst, std::abs(fLeft - fTruth) / fTruth);
        }
    }
    QVERIFY2(fWorst <= 0.10, qPrintable(QStringLiteral("off by %1 %").arg(fWorst * 100)));
}

void tst_EtaEstimator::stallsAndRetriesGiveNoAbsurdFigures()
{
    TEtaEstimator oEstimator;
    QCOMPARE(oEstimator.secondsLeft(1000), -1.0);
    oEstimator.addSample(0, 0);
    oEstimator.addSample(0, 500);
    QCOMPARE(oEstimator.secondsLeft(1000), -1.0);

    for (qint64 nNow = 100; nNow <= 5000; nNow += 100)
        oEstimator.addSample(nNow, TFileSize(nNow) * 1000);
    const double fBefore = oEstimator.secondsLeft(10000000);
    // A retried piece makes the count go back, and the clock may step back.
    oEstimator.addSample(5100, 1000);
    oEstimator.addSample(4000, 5100000);
    const double fAfter = oEstimator.secondsLeft(10000000);
    QVERIFY2(fAfter > 0 && fAfter < 2 * fBefore, qPrintable(QStringLiteral("%1 s before, %2 s after").arg(fBefore).arg(fAfter)));

    // A transfer that stops long enough has no time left to tell, not a huge one.
    for (qint64 nNow = 5200; nNow <= 120000; nNow += 100)
        oEstimator.addSample(nNow, 5100000);
    QCOMPARE(oEstimator.secondsLeft(10000000), -1.0);
    QCOMPARE(oEstimator.secondsLeft(5000000), 0.0);
}

QTEST_APPLESS_MAIN(tst_EtaEstimator)
#include "tst_etaestimator.moc"
