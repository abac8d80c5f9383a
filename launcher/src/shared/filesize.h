#pragma once

#include <QtGlobal>

namespace shared {

// Every size and progress value in bytes.
using TFileSize = quint64;

} // namespace shared
