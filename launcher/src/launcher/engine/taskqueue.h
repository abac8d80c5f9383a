#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <deque>
#include <functional>

namespace velmar::launcher {

// Work for the global thread pool, taken in the order given by at most a few
// runners. A runner goes on with the next item while one waits, so a steady
// stream of small items (a chunk of a small file each) wakes no thread per
// item; a second runner joins only once items wait behind the first. A runner
// that runs out of items waits a moment for the next before it gives its thread
// back: handing each of a stream of tiny items to a freshly started one would
// cost the poster more than the item costs the runner.
class TTaskQueue
{
public:
    explicit TTaskQueue(int nMaximumRunners);
    // Waits for every item posted, then for the runners to be gone.
    ~TTaskQueue();

    TTaskQueue(const TTaskQueue&) = delete;
    TTaskQueue& operator=(const TTaskQueue&) = delete;

    // fnWork must not throw. Without bWake no runner is woken or started for the
    // item: a caller that posts a burst of items calls wake() after the last,
    // and pays for one wake-up instead of one per item.
    void post(std::function<void()> fnWork, bool bWake = true);
    void wake();
    // Returns once every item posted so far has run. Not from a pool thread:
    // the items it waits for may need that thread.
    void waitForDone();

private:
    void run();
    // Under the lock, with items waiting.
    void summonRunner();

    const int m_nMaximumRunners;
    QMutex m_oLock;
    // Runners out of items wait here for the next one.
    QWaitCondition m_oPosted;
    // waitForDone() and the destructor wait here for the queue to drain.
    QWaitCondition m_oDrained;
    std::deque<std::function<void()>> m_lWaiting;
    int m_nRunners = 0;
    int m_nIdle = 0;
    int m_nRunning = 0;
    bool m_bClosing = false;
};

} // namespace velmar::launcher
