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

} // namespace velmar::launcher
