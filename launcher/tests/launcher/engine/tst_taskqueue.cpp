// Every item posted runs, in order with one runner, whether its poster woke a
// runner for it or left that to wake(), waitForDone() or the queue's end; an
// item that throws stops none behind it.

#include "launcher/engine/taskqueue.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

using namespace velmar::launcher;

class tst_TaskQueue : public QObject
{
    Q_OBJECT

private slots:
    void everyItemRuns_data();
    void everyItemRuns();
};

void tst_TaskQueue::everyItemRuns_data()
{
    QTest::addColumn<int>("nRunners");
    QTest::addColumn<bool>("bWake");
    // How the poster waits: wake() then waitForDone(), waitForDone() alone, or the destructor.
    QTest::addColumn<QString>("sEnd");
    QTest::addColumn<bool>("bThrowing");

    for (const int nRunners : {1, 4}) {
        QTest::addRow("%d runners, woken per item", nRunners) << nRunners << true << "wait" << false;
        QTest::addRow("%d runners, one wake-up", nRunners) << nRunners << false << "wake" << false;
        QTest::addRow("%d runners, never woken, waited for", nRunners) << nRunners << false << "wait" << false;
        QTest::addRow("%d runners, never woken, destroyed", nRunners) << nRunners << false << "destroy" << false;
        QTest::addRow("%d runners, items throwing", nRunners) << nRunners << true << "destroy" << true;
    }
}

void tst_TaskQueue::everyItemRuns()
{
    QFETCH(int, nRunners);
    QFETCH(bool, bWake);
    QFETCH(QString, sEnd);
    QFETCH(bool, bThrowing);

    constexpr int kItems = 2000;
    std::mutex oOrderLock;
    std::vector<int> lOrder;
    std::atomic<int> nRan{0};
    auto pQueue = std::make_unique<TTaskQueue>(nRunners);
    for (int nItem = 0; nItem < kItems; ++nItem) {
        pQueue->post(
            [&, nItem] {
                {
                    std::lock_guard<std::mutex> oLock(oOrderLock);
                    lOrder.push_back(nItem);
                }
                ++nRan;
                if (bThrowing && nItem % 500 == 0)
                    throw std::runtime_error("item failed");
            },
            bWake);
    }
    if (sEnd == QLatin1String("wake"))
        pQueue->wake();
    if (sEnd == QLatin1String("destroy"))
        pQueue.reset();
    else
        pQueue->waitForDone();

    QCOMPARE(nRan.load(), kItems);
    if (nRunners == 1) {
        for (int nItem = 0; nItem < kItems; ++nItem)
            QCOMPARE(lOrder[size_t(nItem)], nItem);
    }
}

QTEST_GUILESS_MAIN(tst_TaskQueue)
#include "tst_taskqueue.moc"
