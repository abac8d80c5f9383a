#pragma once

namespace shared {

// Lets TFileSystemHelper read and write pictures through QImage. Idempotent;
// call before the first picture file is read.
void registerQImageCodec();

} // namespace shared
