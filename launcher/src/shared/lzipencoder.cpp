#include "packencoders.h"

#include "lzmaencoding.h"

#include <stdexcept>

namespace shared {

namespace {

constexpr char kLzipMagic[] = {'L', 'Z', 'I', 'P'};
constexpr char kLzipVersion = 1;

void appendLittleEndian(QByteArray& aTarget, quint64 nValue, int nBytes)
{
    for (int nIndex = 0; nIndex < nBytes; ++nIndex)
        aTarget.append(static_cast<char>((nValue >> (8 * nIndex)) & 0xff));
}

// lzip codes the dictionary size as a power of two minus sixteenths of it; our
// dictionaries are powers of two, so the sixteenths stay 0.
char codedDictionarySize(uint32_t nDictionary)
{
    int nExponent = 0;
    while ((uint32_t{1} << nExponent) < nDictionary)
        ++nExponent;
    return static_cast<char>(nExponent);
}

} // namespace

QByteArray lzipPayload(const QByteArray& aInput, int nLevel)
{
    lzma_options_lzma oOptions = lzmaEncoderOptions(static_cast<size_t>(aInput.size()), nLevel);
    // The literal and position settings lzip members always use.
    oOptions.lc = 3;
    oOptions.lp = 0;
    oOptions.pb = 2;
    const lzma_filter aFilters[] = {{LZMA_FILTER_LZMA1, &oOptions}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream oStream = LZMA_STREAM_INIT;
    // A raw LZMA1 stream of unknown size ends with the end marker lzip requires.
    if (lzma_raw_encoder(&oStream, aFilters) != LZMA_OK) {
        lzma_end(&oStream);
        throw std::runtime_error("LZMA compression could not start.");
    }
    QByteArray aMember;
    aMember.append(kLzipMagic, sizeof(kLzipMagic));
    aMember.append(kLzipVersion);
    aMember.append(codedDictionarySize(oOptions.dict_size));
    runLzmaEncoder(oStream, aInput, aMember);

    const auto nSize = static_cast<size_t>(aInput.size());
    appendLittleEndian(aMember, lzma_crc32(reinterpret_cast<const uint8_t*>(aInput.constData()), nSize, 0), 4);
    appendLittleEndian(aMember, nSize, 8);
    // The member size counts itself too.
    appendLittleEndian(aMember, static_cast<quint64>(aMember.size()) + 8, 8);
    return aMember;
}

} // namespace shared
