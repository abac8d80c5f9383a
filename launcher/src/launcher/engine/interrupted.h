#pragma once

#include <exception>

namespace velmar::launcher {

// Work ended early because its owner went away (see TInterruption). Not a
// runtime error: whoever treats a failed read as a file to fetch again must let
// this pass.
class TInterrupted : public std::exception
{
public:
    const char* what() const noexcept override { return "The work was interrupted: its installation has gone."; }
};

} // namespace velmar::launcher
