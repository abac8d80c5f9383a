#pragma once

#include <stdexcept>

namespace shared {

// What libzpaq::error() throws: libzpaq calls it on corrupt streams, exhausted
// memory or an exhausted instruction budget, and expects it never to return. Our
// ZPAQ decoder and encoder catch it, so it never ends the process.
class TZpaqError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace shared
