#include "terminal.h"

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace {

std::atomic<bool> g_bInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void onInterruption(int)
{
    g_bInterrupted.store(true);
}

} // namespace

void catchInterruptions()
{
    struct sigaction oAction {};
    oAction.sa_handler = onInterruption;
    sigemptyset(&oAction.sa_mask);
    // The handler goes after its first use: a second Ctrl+C ends the process.
    oAction.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &oAction, nullptr);
    sigaction(SIGTERM, &oAction, nullptr);
    sigaction(SIGHUP, &oAction, nullptr);
}

bool interruptionRequested()
{
    return g_bInterrupted.load();
}

bool standardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}
