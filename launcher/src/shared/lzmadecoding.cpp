#include "lzmadecoding.h"

#include "largebuffer.h"
#include "lzmastreamguard.h"

namespace shared {

namespace {

const lzma_allocator kLargeBufferAllocator = {allocateLargeBuffer, freeLargeBuffer, nullptr};

} // namespace

lzma_stream largeBufferLzmaStream()
{
    lzma_stream oStream = LZMA_STREAM_INIT;
    oStream.allocator = &kLargeBufferAllocator;
    return oStream;
}

TDecodeResult runLzmaDecoder(lzma_stream& oStream, TPayloadSpan oPayload, TOutputSpan oOutput, ELzmaStreamEnd eEnd)
{
    const TLzmaStreamGuard oGuard(oStream);
    oStream.next_in = oPayload.pData;
    oStream.avail_in = oPayload.nSize;
    oStream.next_out = oOutput.pData;
    oStream.avail_out = oOutput.nSize;
    // liblzma reads the end of a stream only while it has room to write, so a
    // stream that fills the output exactly is finished into this spare byte; any
    // byte that lands there means the stream is longer than declared.
    uint8_t nSpare = 0;
    bool bInSpare = false;
    for (;;) {
        const lzma_ret eResult = lzma_code(&oStream, LZMA_FINISH);
        if (eResult == LZMA_STREAM_END) {
            if (bInSpare)
                return oStream.avail_out == 0 ? TDecodeResult() : TDecodeResult(oOutput.nSize);
            return oOutput.nSize - oStream.avail_out;
        }
        if (eResult != LZMA_OK)
            return std::nullopt;
        if (oStream.avail_out != 0)
            continue;
        if (bInSpare)
            return std::nullopt;
        if (eEnd == ELzmaStreamEnd::StopWhenFull)
            return oOutput.nSize;
        bInSpare = true;
        oStream.next_out = &nSpare;
        oStream.avail_out = 1;
    }
}

} // namespace shared
