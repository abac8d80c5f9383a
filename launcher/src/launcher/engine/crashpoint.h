#pragma once

namespace velmar::launcher {

// Kill-and-recover tests stop an installation at an exact step: in a build with
// crash points, the process kills itself (as `kill -9` would: no clean-up, no
// flush) when the environment variable CORVANE_CRASH_AT names this step, either
// as "name" or as "name:N" for its N-th passage. Other builds ignore it.
void crashPoint(const char* pName);

} // namespace velmar::launcher
