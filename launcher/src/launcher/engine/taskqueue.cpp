#include "taskqueue.h"

#include <QDebug>
#include <QThreadPool>

#include <algorithm>

namespace velmar::launcher {

namespace {

// Long next to the gap between two chunks of a download, short next to
// anything else that may wait for a thread of the pool.
constexpr unsigned long kLingerMs = 20;

} // namespace

TTaskQueue::TTaskQueue(int nMaximumRunners) : m_nMaximumRunners(std::max(1, nMaximumRunners)) {}

TTaskQueue::~TTaskQueue()
{
    waitForDone();
    QMutexLocker oLock(&m_oLock);
    m_bClosing = true;
    m_oPosted.wakeAll();
    // A runner touches nothing of the queue once it has counted itself out.
    while (m_nRunners > 0)
        m_oDrained.wait(&m_oLock);
}

void TTaskQueue::post(std::function<void()> fnWork, bool bWake)
{
    QMutexLocker oLock(&m_oLock);
    m_lWaiting.push_back(std::move(fnWork));
    if (bWake)
        summonRunner();
}

void TTaskQueue::wake()
{
    QMutexLocker oLock(&m_oLock);
    if (!m_lWaiting.empty())
        summonRunner();
}

void TTaskQueue::summonRunner()
{
    if (m_nIdle > 0) {
        m_oPosted.wakeOne();
        return;
    }
    if (m_nRunners > 0 && (m_nRunners >= m_nMaximumRunners || m_lWaiting.size() < 2))
        return;
    ++m_nRunners;
    QThreadPool::globalInstance()->start([this] { run(); });
}

void TTaskQueue::waitForDone()
{
    QMutexLocker oLock(&m_oLock);
    // Items posted without a wake-up may have no runner yet.
    if (!m_lWaiting.empty())
        summonRunner();
    while (!m_lWaiting.empty() || m_nRunning > 0)
        m_oDrained.wait(&m_oLock);
}

void TTaskQueue::run()
{
    QMutexLocker oLock(&m_oLock);
    bool bLingered = false;
    for (;;) {
        if (m_lWaiting.empty()) {
            if (bLingered || m_bClosing) {
                // Counted out under the lock: an item posted after this sees no
                // runner and starts one.
                --m_nRunners;
                m_oDrained.wakeAll();
                return;
            }
            ++m_nIdle;
            bLingered = !m_oPosted.wait(&m_oLock, kLingerMs);
            --m_nIdle;
            continue;
        }
        bLingered = false;
        std::function<void()> fnWork = std::move(m_lWaiting.front());
        m_lWaiting.pop_front();
        ++m_nRunning;
        oLock.unlock();
        try {
            fnWork();
        } catch (...) {
            // A runner that died here would leave its count taken and the items behind it waiting for ever.
            qWarning() << "A queued task failed with an exception";
        }
        // Destroyed outside the lock: what it holds may be large.
        fnWork = nullptr;
        oLock.relock();
        --m_nRunning;
        if (m_lWaiting.empty() && m_nRunning == 0)
            m_oDrained.wakeAll();
    }
}

} // namespace velmar::launcher
