#pragma once

#include <stdexcept>

namespace velmar::launcher {

// A file built from individually sound chunks that does not hash to what its
// document says: the documents do not belong together, and no retry helps.
class TFileHashMismatch : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace velmar::launcher
