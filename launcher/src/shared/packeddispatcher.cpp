#include "packeddecoders.h"

#include <cstring>

namespace shared {

namespace {

enum : uchar {
    kMethodStore = 0,
    kMethodDeflate = 3,
    kMethodLzip = 4,
    kMethodLzma = 5,
    kMethodZpaq = 6,
    kMethodLzmaAlias = 10,
    kMethodCrush = 21,
};

TDecodeResult copyPayload(TPayloadSpan oPayload, TOutputSpan oOutput)
{
    if (oPayload.nSize > oOutput.nSize)
        return std::nullopt;
    std::memcpy(oOutput.pData, oPayload.pData, oPayload.nSize);
    return oPayload.nSize;
}

} // namespace

bool hasPayloadDecoder(uchar nMethod)
{
    switch (nMethod) {
    case kMethodStore:
    case kMethodDeflate:
    case kMethodLzip:
    case kMethodLzma:
    case kMethodZpaq:
    case kMethodLzmaAlias:
    case kMethodCrush:
        return true;
    default:
        // 14 (the block compressor with the 10-byte property header) has no
        // decoder yet; 22 and 23 pass the header test but name no method.
        return false;
    }
}

TDecodeResult decodePayload(uchar nMethod, TPayloadSpan oPayload, TOutputSpan oOutput)
{
    if (oPayload.nSize == 0 || oOutput.nSize == 0 || !hasPayloadDecoder(nMethod))
        return std::nullopt;
    switch (nMethod) {
    case kMethodStore:
        return copyPayload(oPayload, oOutput);
    case kMethodLzma:
    case kMethodLzmaAlias:
        return decodeLzmaPayload(oPayload, oOutput);
    default:
        break;
    }

    TDecodeResult nProduced;
    switch (nMethod) {
    case kMethodDeflate:
        nProduced = decodeDeflatePayload(oPayload, oOutput);
        break;
    case kMethodLzip:
        nProduced = decodeLzipPayload(oPayload, oOutput);
        break;
    case kMethodZpaq:
        nProduced = decodeZpaqPayload(oPayload, oOutput);
        break;
    case kMethodCrush:
        nProduced = decodeCrushPayload(oPayload, oOutput);
        break;
    default:
        return std::nullopt;
    }
    // These methods keep the declared size, so a shorter result would hand out
    // bytes the decoder never wrote.
    if (nProduced != oOutput.nSize)
        return std::nullopt;
    return nProduced;
}

} // namespace shared
