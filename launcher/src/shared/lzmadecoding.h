#pragma once

#include "packeddecoders.h"

#include <lzma.h>

namespace shared {

enum class ELzmaStreamEnd {
    // The output may fill before the stream's end marker; decoding stops there.
    StopWhenFull,
    // The stream must end, with its checks passed, exactly when the output is full
    // or before.
    Required,
};

// A stream whose allocations (the dictionary above all) are advised as large
// buffers; initialise decoders on it.
lzma_stream largeBufferLzmaStream();

// Runs an initialised liblzma decoder over the payload into the output and ends the
// stream. The number of bytes written, or nothing when liblzma reports an error,
// the payload ends early, or (Required) the stream holds more than fits.
TDecodeResult runLzmaDecoder(lzma_stream& oStream, TPayloadSpan oPayload, TOutputSpan oOutput,
                             ELzmaStreamEnd eEnd);

} // namespace shared
