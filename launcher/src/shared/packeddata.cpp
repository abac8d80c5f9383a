#include "packeddata.h"

#include "decompressionerror.h"
#include "largebuffer.h"
#include "packeddecoders.h"
#include "packedheader.h"

#include <algorithm>
#include <climits>
#include <limits>
#include <new>
#include <optional>

namespace shared {

namespace {

constexpr char kDecompressionFailed[] = "Invalid input data could not be decompressed";
// The largest QByteArray Qt can allocate, less room for its header.
constexpr quint64 kLargestOutput = INT_MAX - 64;
constexpr uchar kMethodStore = 0;

// Unpacks bytes that pass the header test; nothing when they do not decode.
std::optional<QByteArray> unpackPacked(const QByteArray& aInput,
                                       quint64 nMaximumSize = std::numeric_limits<quint64>::max())
{
    const std::optional<TPackedHeader> oHeader = readPackedHeader(aInput);
    if (!oHeader || oHeader->nUnpackedSize == 0 || oHeader->nPackedSize == 0 ||
        oHeader->nUnpackedSize > nMaximumSize || !hasPayloadDecoder(oHeader->nMethod))
        return std::nullopt;
    // A stored payload is copied as it is and must fit the declared size, so its
    // output never needs more room than the payload takes.
    const quint64 nOutputSize = oHeader->nMethod == kMethodStore
                                    ? std::min(oHeader->nUnpackedSize, oHeader->nPackedSize)
                                    : oHeader->nUnpackedSize;
    if (nOutputSize > kLargestOutput)
        return std::nullopt;
    try {
        QByteArray aOutput(static_cast<int>(nOutputSize), Qt::Uninitialized);
        adviseLargeBuffer(aOutput.data(), static_cast<size_t>(nOutputSize));
        const TPayloadSpan oPayload{reinterpret_cast<const uchar*>(aInput.constData()) + oHeader->nPayloadOffset,
                                    static_cast<size_t>(oHeader->nPackedSize)};
        const TOutputSpan oOutput{reinterpret_cast<uchar*>(aOutput.data()), static_cast<size_t>(nOutputSize)};
        const TDecodeResult nProduced = decodePayload(oHeader->nMethod, oPayload, oOutput);
        if (!nProduced)
            return std::nullopt;
        if (*nProduced < nOutputSize) {
            aOutput.truncate(static_cast<int>(*nProduced));
            // Give back the room a much too large declared size reserved.
            if (*nProduced < nOutputSize / 2)
                aOutput.squeeze();
        }
        return aOutput;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace

QByteArray unpackStrict(const QByteArray& aInput)
{
    if (!isPackedStream(aInput))
        return aInput;
    std::optional<QByteArray> aUnpacked = unpackPacked(aInput);
    if (!aUnpacked)
        throw TDecompressionError(kDecompressionFailed);
    return std::move(*aUnpacked);
}

QByteArray unpackStrict(const QByteArray& aInput, quint64 nMaximumSize)
{
    if (!isPackedStream(aInput))
        return aInput;
    std::optional<QByteArray> aUnpacked = unpackPacked(aInput, nMaximumSize);
    if (!aUnpacked)
        throw TDecompressionError(kDecompressionFailed);
    return std::move(*aUnpacked);
}

QByteArray unpackLenient(const QByteArray& aInput)
{
    if (!isPackedStream(aInput))
        return aInput;
    std::optional<QByteArray> aUnpacked = unpackPacked(aInput);
    return aUnpacked ? std::move(*aUnpacked) : aInput;
}

} // namespace shared
