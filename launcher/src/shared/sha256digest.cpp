#include "sha256digest.h"

namespace shared {

namespace {

int hexDigitValue(char16_t cDigit)
{
    if (cDigit >= u'0' && cDigit <= u'9')
        return cDigit - u'0';
    if (cDigit >= u'a' && cDigit <= u'f')
        return cDigit - u'a' + 10;
    if (cDigit >= u'A' && cDigit <= u'F')
        return cDigit - u'A' + 10;
    return -1;
}

} // namespace

TSha256Digest TSha256Digest::fromHex(QStringView sHex)
{
    TSha256Digest oDigest;
    if (sHex.size() != 2 * kSize)
        return oDigest;
    const QChar* pDigits = sHex.data();
    for (int n = 0; n < kSize; ++n) {
        const int nHigh = hexDigitValue(pDigits[2 * n].unicode());
        const int nLow = hexDigitValue(pDigits[2 * n + 1].unicode());
        if (nHigh < 0 || nLow < 0)
            return TSha256Digest();
        oDigest.m_aBytes[static_cast<size_t>(n)] = static_cast<unsigned char>(nHigh << 4 | nLow);
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
