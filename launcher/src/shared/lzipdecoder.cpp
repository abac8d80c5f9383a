#include "packeddecoders.h"

#include "lzmadecoding.h"

#include <cstdint>

namespace shared {

TDecodeResult decodeLzipPayload(TPayloadSpan oPayload, TOutputSpan oOutput)
{
    lzma_stream oStream = largeBufferLzmaStream();
    // The format caps dictionaries at 512 MiB, which bounds the memory a member
    // can ask for; liblzma checks each member's CRC and both sizes of its trailer.
    if (lzma_lzip_decoder(&oStream, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) {
        lzma_end(&oStream);
        return std::nullopt;
    }
    return runLzmaDecoder(oStream, oPayload, oOutput, ELzmaStreamEnd::Required);
}

} // namespace shared
