#pragma once

#include <optional>

namespace velmar::launcher {

// --help and --install-desktop-entry, which run instead of a launcher run: no
// display, network, log file or single-instance claim. The exit code, or
// nothing when the command line asks for an ordinary run.
std::optional<int> runStandaloneCommand(int& nArgc, char** ppArgv);

} // namespace velmar::launcher
