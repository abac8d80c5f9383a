#include "packeddecoders.h"

#include <cstring>

namespace shared {

namespace {

TDecodeResult copyPayload(TPayloadSpan oPayload, TOutputSpan oOutput)
{
    if (oPayload.nSize > oOutput.nSize)
        return std::nullopt;
    std::memcpy(oOutput.pData, oPayload.pData, oPayload.nSize);
    return oPayload.nSize;
}

struct TDecoderEntry
{
    uchar nMethod;
    TDecodeResult (*fnDecode)(TPayloadSpan, TOutputSpan);
    // The result keeps the declared size, so the decoder must fill the output: a
    // shorter result would hand out bytes it never wrote.
    bool bFillsOutput;
};

// 14 (the block compressor with the 10-byte property header) has no decoder yet;
// 22 and 23 pass the header test but name no method.
constexpr TDecoderEntry kDecoders[] = {
    {0, copyPayload, false},
    {3, decodeDeflatePayload, true},
    {4, decodeLzipPayload, true},
    {5, decodeLzmaPayload, false},
    {6, decodeZpaqPayload, true},
    {10, decodeLzmaPayload, false},
    {21, decodeCrushPayload, true},
};

const TDecoderEntry* findDecoder(uchar nMethod)
{
    for (const TDecoderEntry& oEntry : kDecoders) {
        if (oEntry.nMethod == nMethod)
            return &oEntry;
    }
    return nullptr;
}

} // namespace

bool hasPayloadDecoder(uchar nMethod)
{
    return findDecoder(nMethod) != nullptr;
}

TDecodeResult decodePayload(uchar nMethod, TPayloadSpan oPayload, TOutputSpan oOutput)
{
    const TDecoderEntry* pDecoder = findDecoder(nMethod);
    if (!pDecoder || oPayload.nSize == 0 || oOutput.nSize == 0)
        return std::nullopt;
    const TDecodeResult nProduced = pDecoder->fnDecode(oPayload, oOutput);
    if (pDecoder->bFillsOutput && nProduced != oOutput.nSize)
        return std::nullopt;
    return nProduced;
}

} // namespace shared
