#pragma once

#include <stdexcept>
#include <string>

namespace velmar::launcher {

// The launcher metadata did not parse; the text is the parser's message.
class TLauncherConfigurationException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace velmar::launcher
