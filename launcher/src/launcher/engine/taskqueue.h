#pragma once

#include <QFuture>
#include <QMutex>

#include <deque>
#include <functional>
#include <vector>

namespace velmar::launcher {

// Work for the global thread pool, taken in the order given by at most a few
// runners. A runner goes on with the next item while one waits, so a steady
// stream of small items (a chunk of a small file each) wakes no thread per
// item; a second runner joins only once items wait behind the first.
class TTaskQueue
{
public:
    explicit TTaskQueue(int nMaximumRunners);
    // Waits for every item posted.
    ~TTaskQueue();

    TTaskQueue(const TTaskQueue&) = delete;
    TTaskQueue& operator=(const TTaskQueue&) = delete;

    // fnWork must not throw.
    void post(std::function<void()> fnWork);
    // Returns once every item posted so far has run.
    void waitForDone();

private:
    void run();

    const int m_nMaximumRunners;
    QMutex m_oLock;
    std::deque<std::function<void()>> m_lWaiting;
    int m_nRunners = 0;
    std::vector<QFuture<void>> m_lRunners;
};

} // namespace velmar::launcher
