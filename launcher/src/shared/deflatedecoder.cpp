#include "packeddecoders.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace shared {

namespace {

constexpr size_t kLargestStep = UINT_MAX;

class TInflateStream
{
public:
    // Window bits -15: raw deflate, no zlib or gzip wrapper.
    TInflateStream() : m_bReady(inflateInit2(&m_oStream, -15) == Z_OK) {}
    ~TInflateStream()
    {
        if (m_bReady)
            inflateEnd(&m_oStream);
    }
    TInflateStream(const TInflateStream&) = delete;
    TInflateStream& operator=(const TInflateStream&) = delete;

    bool isReady() const { return m_bReady; }
    z_stream& stream() { return m_oStream; }

private:
    z_stream m_oStream{};
    bool m_bReady;
};

} // namespace

TDecodeResult decodeDeflatePayload(TPayloadSpan oPayload, TOutputSpan oOutput)
{
    TInflateStream oInflate;
    if (!oInflate.isReady())
        return std::nullopt;
    z_stream& oStream = oInflate.stream();
    size_t nInputLeft = oPayload.nSize;
    size_t nOutputLeft = oOutput.nSize;
    oStream.next_in = const_cast<Bytef*>(oPayload.pData);
    oStream.next_out = oOutput.pData;
    for (;;) {
        // zlib counts in 32 bits: hand it the spans a step at a time.
        const uInt nInputStep = static_cast<uInt>(std::min(nInputLeft, kLargestStep));
        const uInt nOutputStep = static_cast<uInt>(std::min(nOutputLeft, kLargestStep));
        oStream.avail_in = nInputStep;
        oStream.avail_out = nOutputStep;
        const int nResult = inflate(&oStream, Z_NO_FLUSH);
        nInputLeft -= nInputStep - oStream.avail_in;
        nOutputLeft -= nOutputStep - oStream.avail_out;
        if (nResult == Z_STREAM_END)
            return oOutput.nSize - nOutputLeft;
        // Z_BUF_ERROR: no progress, so the input ended early or the stream holds
        // more than the declared size.
        if (nResult != Z_OK)
            return std::nullopt;
    }
}

} // namespace shared
