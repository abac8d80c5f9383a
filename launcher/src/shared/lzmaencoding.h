#pragma once

#include <QByteArray>

#include <lzma.h>

#include <cstddef>

namespace shared {

// Encoder settings shared by the LZMA payloads: the preset (0 to 9), with the
// dictionary cut down to the smallest power of two that holds the input (at least
// 4 KiB), so that small inputs do not make the decoder reserve a large dictionary.
lzma_options_lzma lzmaEncoderOptions(size_t nInputSize, int nPreset);

// Runs an initialised encoder over aInput to the end of its stream and appends
// the result to aOutput; ends the stream. Throws std::runtime_error on failure.
void runLzmaEncoder(lzma_stream& oStream, const QByteArray& aInput, QByteArray& aOutput);

} // namespace shared
