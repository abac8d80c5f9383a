#pragma once

#include <QtGlobal>

#include <cstddef>
#include <optional>

namespace shared {

// Bytes a decoder may read: never beyond nSize.
struct TPayloadSpan
{
    const uchar* pData;
    size_t nSize;
};

// Room a decoder may write: never beyond nSize.
struct TOutputSpan
{
    uchar* pData;
    size_t nSize;
};

// Every decoder returns the number of bytes it wrote into the output, or nothing
// when the payload does not decode. None reads or writes outside its spans, and
// none ends the process or throws on hostile input.
using TDecodeResult = std::optional<size_t>;

// True for the methods decodePayload() has a decoder for: 0, 3, 4, 5, 6, 10 and 21.
bool hasPayloadDecoder(uchar nMethod);

// Routes a payload to the decoder of its method. Fails at once for an empty payload
// or output, for methods without a decoder, and for methods 22 and 23. Methods 0, 5
// and 10 may produce fewer bytes than the output holds; every other method must
// fill the output exactly.
TDecodeResult decodePayload(uchar nMethod, TPayloadSpan oPayload, TOutputSpan oOutput);

// Method 3: raw deflate; succeeds only when the stream ends.
TDecodeResult decodeDeflatePayload(TPayloadSpan oPayload, TOutputSpan oOutput);
// Method 4: one or more lzip members, each checked against its trailer.
TDecodeResult decodeLzipPayload(TPayloadSpan oPayload, TOutputSpan oOutput);
// Methods 5 and 10: 13-byte header, then LZMA data. Stops at the end marker or when
// the output is full.
TDecodeResult decodeLzmaPayload(TPayloadSpan oPayload, TOutputSpan oOutput);
// Method 6: ZPAQ blocks, checked against their SHA-1 sums where present.
TDecodeResult decodeZpaqPayload(TPayloadSpan oPayload, TOutputSpan oOutput);
// Method 21: LZ77 bit stream; stops when the output is full, even inside a match.
TDecodeResult decodeCrushPayload(TPayloadSpan oPayload, TOutputSpan oOutput);

} // namespace shared
