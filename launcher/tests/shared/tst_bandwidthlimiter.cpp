// The bandwidth limiter on a clock the test turns: what it hands out over time,
// how it shares that out, and the low-speed floor it allows. The download
// pool's tests run real transfers through it.

#include "shared/bandwidthlimiter.h"

#include <QtTest>

#include <algorithm>
#include <numeric>
#include <vector>

using shared::TBandwidthLimiter;

class tst_BandwidthLimiter : public QObject
{
    Q_OBJECT

private slots:
    void handsOutTheRateInEqualShares_data();
    void handsOutTheRateInEqualShares();
    void bytesReadPastItAreMadeUpFor();
    void floorIsAQuarterOfAShare_data();
    void floorIsAQuarterOfAShare();
};

void tst_BandwidthLimiter::handsOutTheRateInEqualShares_data()
{
    QTest::addColumn<qint64>("nRate");
    QTest::addColumn<int>("nTransfers");
    QTest::addColumn<int>("nStep"); // milliseconds between rounds
    QTest::newRow("1 MB/s, one transfer") << qint64(1000000) << 1 << 20;
    QTest::newRow("5 MB/s, ten transfers") << qint64(5000000) << 10 << 7;
    QTest::newRow("20 MB/s, three transfers, rare rounds") << qint64(20000000) << 3 << 500;
    QTest::newRow("1 KB/s, seven transfers") << qint64(1000) << 7 << 1000;
}

void tst_BandwidthLimiter::handsOutTheRateInEqualShares()
{
    QFETCH(qint64, nRate);
    QFETCH(int, nTransfers);
    QFETCH(int, nStep);
    qint64 nNow = 0;
    TBandwidthLimiter oLimiter(nRate);
    oLimiter.setClock([&nNow] { return nNow; });
    // Each transfer always has more waiting than any round could give it.
    std::vector<qint64> lTaken(size_t(nTransfers), 0);
    for (int nTransfer = 0; nTransfer < nTransfers; ++nTransfer)
        oLimiter.addTransfer([] { return qint64(1) << 40; }, [&lTaken, nTransfer](qint64 nBytes) {
            lTaken[size_t(nTransfer)] += nBytes;
            return nBytes;
        });
    oLimiter.pump();
    const qint64 nBurst = std::accumulate(lTaken.begin(), lTaken.end(), qint64(0));
    // An idle start allows half a second's worth at most, and never less than 16 KiB.
    QCOMPARE(nBurst, std::max<qint64>(nRate / 2, 16 * 1024));
    for (nNow = nStep; nNow <= 30000; nNow += nStep)
        oLimiter.pump();
    const qint64 nTotal = std::accumulate(lTaken.begin(), lTaken.end(), qint64(0));
    QCOMPARE(nTotal - nBurst, nRate * (30000 / nStep * nStep) / 1000);
    const auto [itLeast, itMost] = std::minmax_element(lTaken.begin(), lTaken.end());
    // Equal shares, but for the rounding of the budget among them.
    QVERIFY2(*itMost - *itLeast <= nTotal / 1000 + nTransfers, qPrintable(QStringLiteral("%1 to %2").arg(*itLeast).arg(*itMost)));
}

void tst_BandwidthLimiter::bytesReadPastItAreMadeUpFor()
{
    qint64 nNow = 0;
    TBandwidthLimiter oLimiter(100000);
    oLimiter.setClock([&nNow] { return nNow; });
    qint64 nTaken = 0;
    const int nTransfer = oLimiter.addTransfer([] { return qint64(1) << 40; }, [&nTaken](qint64 nBytes) {
        nTaken += nBytes;
        return nBytes;
    });
    oLimiter.pump();
    nTaken = 0;
    // A finished answer's last 50 kB were read at once: half a second without anything for the rest.
    oLimiter.charge(50000);
    for (nNow = 100; nNow <= 600; nNow += 100) {
        oLimiter.pump();
        QCOMPARE(nTaken, nNow < 600 ? 0 : 10000);
    }
    // A transfer gone takes nothing more.
    oLimiter.removeTransfer(nTransfer);
    nNow = 1000;
    oLimiter.pump();
    QCOMPARE(nTaken, 10000);
}

void tst_BandwidthLimiter::floorIsAQuarterOfAShare_data()
{
    QTest::addColumn<qint64>("nRate");
    QTest::addColumn<int>("nTransfers");
    QTest::addColumn<qint64>("nFloor");
    QTest::addColumn<qint64>("nAllowed");
    QTest::newRow("no limit") << qint64(0) << 10 << qint64(1024) << qint64(1024);
    QTest::newRow("limit far above") << qint64(10000000) << 10 << qint64(1024) << qint64(1024);
    QTest::newRow("ten share 40 kB/s") << qint64(40000) << 10 << qint64(1024) << qint64(1000);
    QTest::newRow("no transfer yet") << qint64(40000) << 0 << qint64(100000) << qint64(10000);
}

void tst_BandwidthLimiter::floorIsAQuarterOfAShare()
{
    QFETCH(qint64, nRate);
    QFETCH(int, nTransfers);
    QFETCH(qint64, nFloor);
    QFETCH(qint64, nAllowed);
    TBandwidthLimiter oLimiter(nRate);
    for (int nTransfer = 0; nTransfer < nTransfers; ++nTransfer)
        oLimiter.addTransfer([] { return qint64(0); }, [](qint64) { return qint64(0); });
    QCOMPARE(oLimiter.floorFor(nFloor), nAllowed);
}

QTEST_GUILESS_MAIN(tst_BandwidthLimiter)
#include "tst_bandwidthlimiter.moc"
