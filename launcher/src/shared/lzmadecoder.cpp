#include "packeddecoders.h"

#include "lzmadecoding.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace shared {

namespace {

constexpr size_t kPropertiesSize = 5;
// Properties, then 8 bytes (the size as the writer knew it) that the decoder ignores.
constexpr size_t kHeaderSize = 13;
constexpr uint32_t kSmallestDictionary = 4096;

struct TFreeOptions
{
    void operator()(void* pOptions) const { std::free(pOptions); }
};

} // namespace

TDecodeResult decodeLzmaPayload(TPayloadSpan oPayload, TOutputSpan oOutput)
{
    if (oPayload.nSize < kHeaderSize)
        return std::nullopt;
    lzma_filter aFilters[] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&aFilters[0], nullptr, oPayload.pData, kPropertiesSize) != LZMA_OK)
        return std::nullopt;
    const std::unique_ptr<lzma_options_lzma, TFreeOptions> pOptions(static_cast<lzma_options_lzma*>(aFilters[0].options));
    // A match can reach no further back than the output holds, so a dictionary
    // larger than the output is never used: cutting it keeps a hostile header from
    // reserving gigabytes for a few bytes of output.
    if (pOptions->dict_size > oOutput.nSize)
        pOptions->dict_size = std::max(kSmallestDictionary, static_cast<uint32_t>(oOutput.nSize));

    lzma_stream oStream = largeBufferLzmaStream();
    if (lzma_raw_decoder(&oStream, aFilters) != LZMA_OK) {
        lzma_end(&oStream);
        return std::nullopt;
    }
    const TPayloadSpan oData{oPayload.pData + kHeaderSize, oPayload.nSize - kHeaderSize};
    return runLzmaDecoder(oStream, oData, oOutput, ELzmaStreamEnd::StopWhenFull);
}

} // namespace shared
