#pragma once

#include <cstdint>

namespace libzpaq {
// Instructions the ZPAQL interpreter of this thread may still run; our build of
// libzpaq raises libzpaq::error() when it reaches zero.
extern thread_local uint64_t zpaqlInstructionBudget;
} // namespace libzpaq

namespace shared {

// Limits the ZPAQL instructions the current thread may run while it lives, so that
// a stream whose programs loop forever fails instead of hanging its thread.
class TZpaqInstructionBudget
{
public:
    explicit TZpaqInstructionBudget(uint64_t nInstructions) { libzpaq::zpaqlInstructionBudget = nInstructions; }
    ~TZpaqInstructionBudget() { libzpaq::zpaqlInstructionBudget = UINT64_MAX; }
    TZpaqInstructionBudget(const TZpaqInstructionBudget&) = delete;
    TZpaqInstructionBudget& operator=(const TZpaqInstructionBudget&) = delete;
};

} // namespace shared
