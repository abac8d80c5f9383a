#include "launcherversion.h"

namespace velmar::launcher {

// Alone in its file: a program that links its own copy, built with another
// version, replaces this one (the demo's and the tests' newer launcher).
QString launcherVersion()
{
    return QStringLiteral(CORVANE_LAUNCHER_VERSION);
}

} // namespace velmar::launcher
