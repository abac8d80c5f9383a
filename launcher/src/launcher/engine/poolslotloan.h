#pragma once

#include <QThreadPool>

namespace velmar::launcher {

// A pool task that starts other tasks and blocks until they finish would hold one
// of the pool's few threads idle (waiting on a task another thread already runs
// lets nothing else run in its place). While a loan lives, the global pool may
// start one more thread instead.
class TPoolSlotLoan
{
public:
    TPoolSlotLoan() { QThreadPool::globalInstance()->releaseThread(); }
    ~TPoolSlotLoan() { QThreadPool::globalInstance()->reserveThread(); }
    TPoolSlotLoan(const TPoolSlotLoan&) = delete;
    TPoolSlotLoan& operator=(const TPoolSlotLoan&) = delete;
};

} // namespace velmar::launcher
