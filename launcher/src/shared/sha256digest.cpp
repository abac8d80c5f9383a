#include "sha256digest.h"

// Part of every x86-64 processor.
#include <emmintrin.h>

namespace shared {

namespace {

// Sixteen digits to eight bytes at once: a package document holds two digests per
// chunk, and one digit at a time they were a seventh of reading a large one.
// Returns false when any of the sixteen is no digit.
bool decodeHexBlock(const char* pDigits, unsigned char* pBytes)
{
    const __m128i vDigits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pDigits));
    // Setting 0x20 makes 'A'-'F' 'a'-'f' and nothing else lands on them. The
    // compares are signed: bytes from 0x80 on are negative and fail both ranges.
    const __m128i vLower = _mm_or_si128(vDigits, _mm_set1_epi8(0x20));
    const __m128i vIsDigit =
        _mm_and_si128(_mm_cmpgt_epi8(vDigits, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(vDigits, _mm_set1_epi8('9' + 1)));
    const __m128i vIsLetter =
        _mm_and_si128(_mm_cmpgt_epi8(vLower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(vLower, _mm_set1_epi8('f' + 1)));
    if (_mm_movemask_epi8(_mm_or_si128(vIsDigit, vIsLetter)) != 0xFFFF)
        return false;
    const __m128i vValues = _mm_or_si128(_mm_and_si128(vIsDigit, _mm_sub_epi8(vDigits, _mm_set1_epi8('0'))),
                                         _mm_andnot_si128(vIsDigit, _mm_sub_epi8(vLower, _mm_set1_epi8('a' - 10))));
    // Each 16-bit lane holds a byte's high digit in its low half and its low digit above.
    const __m128i vPairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(vValues, _mm_set1_epi16(0x00FF)), 4),
                                        _mm_srli_epi16(vValues, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pBytes), _mm_packus_epi16(vPairs, vPairs));
    return true;
}

} // namespace

TSha256Digest TSha256Digest::fromHex(QLatin1String sHex)
{
    TSha256Digest oDigest;
    if (sHex.size() != 2 * kSize)
        return oDigest;
    for (int n = 0; n < kSize; n += 8) {
        if (!decodeHexBlock(sHex.data() + 2 * n, oDigest.m_aBytes.data() + n))
            return TSha256Digest();
    }
    oDigest.m_bPresent = true;
    return oDigest;
}

TSha256Digest TSha256Digest::fromBytes(const QByteArray& aBytes)
{
    TSha256Digest oDigest;
    if (aBytes.size() != kSize)
        return oDigest;
    std::memcpy(oDigest.m_aBytes.data(), aBytes.constData(), kSize);
    oDigest.m_bPresent = true;
    return oDigest;
}

QByteArray TSha256Digest::toByteArray() const
{
    if (!m_bPresent)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(m_aBytes.data()), kSize);
}

QString TSha256Digest::toHex() const
{
    return QString::fromLatin1(toByteArray().toHex());
}

} // namespace shared
