#include "taskqueue.h"

#include <QDebug>
#include <QtConcurrent>

#include <algorithm>

namespace velmar::launcher {

TTaskQueue::TTaskQueue(int nMaximumRunners) : m_nMaximumRunners(std::max(1, nMaximumRunners)) {}

TTaskQueue::~TTaskQueue()
{
    waitForDone();
}

void TTaskQueue::post(std::function<void()> fnWork)
{
    QMutexLocker oLock(&m_oLock);
    m_lWaiting.push_back(std::move(fnWork));
    if (m_nRunners > 0 && (m_nRunners >= m_nMaximumRunners || m_lWaiting.size() < 2))
        return;
    ++m_nRunners;
    m_lRunners.erase(std::remove_if(m_lRunners.begin(), m_lRunners.end(), [](const QFuture<void>& oRunner) { return oRunner.isFinished(); }),
                     m_lRunners.end());
    m_lRunners.push_back(QtConcurrent::run([this] { run(); }));
}

void TTaskQueue::waitForDone()
{
    for (;;) {
        std::vector<QFuture<void>> lRunners;
        {
            QMutexLocker oLock(&m_oLock);
            if (m_nRunners == 0 && m_lWaiting.empty())
                return;
            lRunners = m_lRunners;
        }
        for (QFuture<void>& oRunner : lRunners)
            oRunner.waitForFinished();
    }
}

void TTaskQueue::run()
{
    for (;;) {
        std::function<void()> fnWork;
        {
            QMutexLocker oLock(&m_oLock);
            // Given up under the lock: an item posted after this sees no runner and starts one.
            if (m_lWaiting.empty()) {
                --m_nRunners;
                return;
            }
            fnWork = std::move(m_lWaiting.front());
            m_lWaiting.pop_front();
        }
        try {
            fnWork();
        } catch (...) {
            // A runner that died here would leave its count taken and the items behind it waiting for ever.
            qWarning() << "A queued task failed with an exception";
        }
    }
}

} // namespace velmar::launcher
