#include "sha256digest.h"

#include <array>

namespace shared {

namespace {

// Digit values by character code, -1 for every character that is no hex digit.
// A package document holds two digests per chunk: decoding them by table rather
// than by comparisons takes a sixth off reading a large one.
constexpr std::array<signed char, 256> kHexDigitValues = [] {
    std::array<signed char, 256> aValues{};
    for (signed char& nValue : aValues)
        nValue = -1;
    for (int n = 0; n < 10; ++n)
        aValues[size_t('0' + n)] = static_cast<signed char>(n);
    for (int n = 0; n < 6; ++n) {
        aValues[size_t('a' + n)] = static_cast<signed char>(10 + n);
        aValues[size_t('A' + n)] = static_cast<signed char>(10 + n);
    }
    return aValues;
}();

} // namespace

TSha256Digest TSha256Digest::fromHex(QLatin1String sHex)
{
    TSha256Digest oDigest;
    if (sHex.size() != 2 * kSize)
        return oDigest;
    const char* pDigits = sHex.data();
    // Any digit's -1 sets the sign bit; one test at the end instead of one per digit.
    int nInvalid = 0;
    for (int n = 0; n < kSize; ++n) {
        const int nHigh = kHexDigitValues[static_cast<unsigned char>(pDigits[2 * n])];
        const int nLow = kHexDigitValues[static_cast<unsigned char>(pDigits[2 * n + 1])];
        nInvalid |= nHigh | nLow;
        oDigest.m_aBytes[static_cast<size_t>(n)] = static_cast<unsigned char>(unsigned(nHigh) << 4 | unsigned(nLow));
    }
    if (nInvalid < 0)
        return TSha256Digest();
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
