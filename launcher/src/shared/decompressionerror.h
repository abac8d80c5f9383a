#pragma once

#include <stdexcept>
#include <string>

namespace shared {

// Thrown by the strict unpack when bytes that announce the packed format cannot be
// decoded; the text is the whole user-visible reason.
class TDecompressionError : public std::runtime_error
{
public:
    explicit TDecompressionError(const std::string& sMessage) : std::runtime_error(sMessage) {}
};

} // namespace shared
