// Time left of a running installation: it must settle near the truth and stay
// there although the bytes arrive in bursts, and never divide by zero.

#include "shared/etaestimator.h"

#include <QMap>
#include <QTest>
#include <QVector>

#include <cmath>

using namespace shared;

class tst_EtaEstimator : public QObject
{
    Q_OBJECT

private slots:
    void settlesNearTheTruthAndStays_data();
    void settlesNearTheTruthAndStays();
    void followsObservedTraces_data();
    void followsObservedTraces();
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
    // Progress is reported every 100 ms; the bytes arrive whole bursts at a time.
    for (qint64 nNow = 0; nNow <= 110000; nNow += 100) {
        const qint64 nArrived = nNow / nBurstMilliseconds * nBurstMilliseconds;
        const TFileSize nDone = TFileSize(fBytesPerSecond * double(nArrived) / 1000.0);
        oEstimator.addSample(nNow, nDone);
        // What is left at the true rate: bursts make the count lag the clock,
        // which no estimate from the count can know. No estimate (-1) is off by more.
        const double fTruth = double(nTotal - nDone) / fBytesPerSecond, fLeft = oEstimator.secondsLeft(nTotal);
        if (nNow >= 6000)
            QVERIFY2(std::abs(fLeft - fTruth) <= 0.10 * fTruth, qPrintable(QStringLiteral("at %1 ms: %2 s left, truly %3 s").arg(nNow).arg(fLeft).arg(fTruth)));
    }
}

// Speeds seen in the window, phase by phase ((milliseconds, bytes a second), the
// last one lasting to the end), reported every 100 ms as the window redraws.
using TPhases = QVector<QPair<qint64, double>>;
Q_DECLARE_METATYPE(TPhases)

void tst_EtaEstimator::followsObservedTraces_data()
{
    QTest::addColumn<TPhases>("lPhases");
    QTest::addColumn<double>("fTotal");
    // From then on the figure must be near the truth and count down.
    QTest::addColumn<qint64>("nCheckedFrom");
    QTest::newRow("1.2 MB in 0.3 s, then 2.4 MB/s") << TPhases{{300, 4e6}, {0, 2.4e6}} << 25.2e6 << qint64(3000);
    QTest::newRow("2.4 MB/s, then 3 KB/s") << TPhases{{10000, 2.4e6}, {0, 3e3}} << 24.09e6 << qint64(13000);
    QTest::newRow("3 KB/s, then 2.4 MB/s") << TPhases{{10000, 3e3}, {0, 2.4e6}} << 24.03e6 << qint64(13000);
}

void tst_EtaEstimator::followsObservedTraces()
{
    QFETCH(TPhases, lPhases);
    QFETCH(double, fTotal);
    QFETCH(qint64, nCheckedFrom);
    const TFileSize nTotal = TFileSize(fTotal);
    TEtaEstimator oEstimator;
    const auto rateAt = [&lPhases](qint64 nNow) {
        for (const auto& [nLasting, fRate] : lPhases)
            if ((nNow -= nLasting) < 0 || nLasting == 0)
                return fRate;
        return 0.0;
    };
    double fDone = 0;
    QMap<qint64, double> hLeft;
    for (qint64 nNow = 0; fDone < fTotal; nNow += 100) {
        oEstimator.addSample(nNow, TFileSize(fDone));
        const double fRate = rateAt(nNow);
        const double fTruth = (fTotal - fDone) / fRate;
        const double fLeft = oEstimator.secondsLeft(nTotal);
        hLeft.insert(nNow, fLeft);
        // The last second is rounding, whatever the estimate.
        if (nNow >= nCheckedFrom && fTruth >= 1) {
            const QString sAt = QStringLiteral("at %1 ms: %2 s left, truly %3 s").arg(nNow).arg(fLeft).arg(fTruth);
            QVERIFY2(std::abs(fLeft - fTruth) <= 0.2 * fTruth, qPrintable(sAt));
            const double fFallen = hLeft.value(nNow - 1000) - fLeft;
            if (nNow - 1000 >= nCheckedFrom)
                QVERIFY2(fFallen >= 0.7 && fFallen <= 1.3, qPrintable(sAt + QStringLiteral(", fell %1 s in a second").arg(fFallen)));
        }
        fDone = std::min(fTotal, fDone + fRate / 10);
    }
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
