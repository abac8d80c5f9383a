#include "packencoders.h"

#include "lzmaencoding.h"

#include <stdexcept>

namespace shared {

QByteArray lzmaPayload(const QByteArray& aInput, int nLevel)
{
    const lzma_options_lzma oOptions = lzmaEncoderOptions(static_cast<size_t>(aInput.size()), nLevel);
    lzma_stream oStream = LZMA_STREAM_INIT;
    // The alone encoder writes the 13-byte header with the size marked unknown and
    // ends the data with an end marker, as the reference tools do.
    if (lzma_alone_encoder(&oStream, &oOptions) != LZMA_OK) {
        lzma_end(&oStream);
        throw std::runtime_error("LZMA compression could not start.");
    }
    QByteArray aPayload;
    runLzmaEncoder(oStream, aInput, aPayload);
    return aPayload;
}

} // namespace shared
