#pragma once

#include "interrupted.h"

#include <atomic>

namespace velmar::launcher {

// Raised by the owner of long file work (a scan, a verification) when it goes
// away: the work checks it once per block read and ends where it is, so that
// closing the launcher never waits for gigabytes to be read to no purpose.
class TInterruption
{
public:
    void raise() { m_bRaised.store(true, std::memory_order_relaxed); }
    bool raised() const { return m_bRaised.load(std::memory_order_relaxed); }
    // Throws TInterrupted once raised.
    void check() const
    {
        if (raised())
            throw TInterrupted();
    }

private:
    std::atomic<bool> m_bRaised{false};
};

} // namespace velmar::launcher
