#include "lzmaencoding.h"

#include "lzmastreamguard.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace shared {

namespace {

constexpr uint32_t kSmallestDictionary = 4096;
constexpr int kOutputStep = 1 << 20;

// Ends the encoder on every path out of runLzmaEncoder().

} // namespace

lzma_options_lzma lzmaEncoderOptions(size_t nInputSize, int nPreset)
{
    lzma_options_lzma oOptions{};
    if (lzma_lzma_preset(&oOptions, uint32_t(nPreset)) != 0)
        throw std::runtime_error("LZMA compression could not start.");
    uint32_t nDictionary = kSmallestDictionary;
    while (nDictionary < nInputSize && nDictionary < oOptions.dict_size)
        nDictionary *= 2;
    oOptions.dict_size = std::min(nDictionary, oOptions.dict_size);
    return oOptions;
}

void runLzmaEncoder(lzma_stream& oStream, const QByteArray& aInput, QByteArray& aOutput)
{
    const TLzmaStreamGuard oGuard(oStream);
    oStream.next_in = reinterpret_cast<const uint8_t*>(aInput.constData());
    oStream.avail_in = static_cast<size_t>(aInput.size());
    int nUsed = aOutput.size();
    for (;;) {
        if (aOutput.size() - nUsed < kOutputStep) {
            if (aOutput.size() > INT_MAX - 2 * kOutputStep)
                throw std::runtime_error("Data too large for LZMA compression.");
            aOutput.resize(aOutput.size() + kOutputStep);
        }
        oStream.next_out = reinterpret_cast<uint8_t*>(aOutput.data()) + nUsed;
        oStream.avail_out = static_cast<size_t>(aOutput.size() - nUsed);
        const lzma_ret eResult = lzma_code(&oStream, LZMA_FINISH);
        nUsed = aOutput.size() - static_cast<int>(oStream.avail_out);
        if (eResult == LZMA_STREAM_END)
            break;
        if (eResult != LZMA_OK)
            throw std::runtime_error("LZMA compression failed.");
    }
    aOutput.truncate(nUsed);
}

} // namespace shared
