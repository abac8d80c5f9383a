#pragma once

namespace velmar::launcher {

// Kill-and-recover tests stop an installation at an exact step: in a build with
// crash points, the process kills itself (as `kill -9` would: no clean-up, no
// flush) when the environment variable CORVANE_CRASH_AT names this step, either
// as "name" or as "name:N" for its N-th passage. CORVANE_STOP_AT, in the same
// form, holds the step there instead: after the line "stopped at name" on
// standard error it waits for a line on standard input, so that a test can act
// meanwhile (the rest of the process goes on). Other builds ignore both.
void crashPoint(const char* pName);

// Fault tests make one step fail as a failing disk would: in a build with crash
// points, true at the passage that CORVANE_FAIL_AT names ("name" or "name:N", as
// above); the caller then fails that step with EIO. Always false in other builds.
bool failPoint(const char* pName);

} // namespace velmar::launcher
