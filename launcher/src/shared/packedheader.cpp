#include "packedheader.h"

namespace shared {

namespace {

constexpr int kMaxVarintBytes = 10;

size_t countLeadingZeros(const QByteArray& aBytes)
{
    size_t nCount = 0;
    const size_t nSize = static_cast<size_t>(aBytes.size());
    while (nCount < nSize && aBytes.at(static_cast<int>(nCount)) == '\0')
        ++nCount;
    return nCount;
}

} // namespace

bool isPackedStream(const QByteArray& aBytes)
{
    const size_t nStart = countLeadingZeros(aBytes);
    if (static_cast<size_t>(aBytes.size()) - nStart < 2)
        return false;
    const auto* pBytes = reinterpret_cast<const uchar*>(aBytes.constData()) + nStart;
    return pBytes[0] == kPackedMarker && pBytes[1] <= kHighestPackedMethod;
}

std::optional<TPackedHeader> readPackedHeader(const QByteArray& aBytes)
{
    if (!isPackedStream(aBytes))
        return std::nullopt;
    const auto* pBytes = reinterpret_cast<const uchar*>(aBytes.constData());
    const size_t nSize = static_cast<size_t>(aBytes.size());
    size_t nOffset = countLeadingZeros(aBytes) + 1;
    TPackedHeader oHeader;
    oHeader.nMethod = pBytes[nOffset++];
    const std::optional<quint64> nUnpacked = readVarint(pBytes, nSize, nOffset);
    if (!nUnpacked)
        return std::nullopt;
    const std::optional<quint64> nPacked = readVarint(pBytes, nSize, nOffset);
    if (!nPacked || *nPacked > nSize - nOffset)
        return std::nullopt;
    oHeader.nUnpackedSize = *nUnpacked;
    oHeader.nPackedSize = *nPacked;
    oHeader.nPayloadOffset = nOffset;
    return oHeader;
}

QByteArray packedHeader(uchar nMethod, quint64 nUnpackedSize, quint64 nPackedSize)
{
    QByteArray aHeader;
    aHeader.reserve(2 + 2 * kMaxVarintBytes);
    aHeader.append(static_cast<char>(kPackedMarker));
    aHeader.append(static_cast<char>(nMethod));
    appendVarint(aHeader, nUnpackedSize);
    appendVarint(aHeader, nPackedSize);
    return aHeader;
}

void appendVarint(QByteArray& aTarget, quint64 nValue)
{
    while (nValue >= 0x80) {
        aTarget.append(static_cast<char>((nValue & 0x7f) | 0x80));
        nValue >>= 7;
    }
    aTarget.append(static_cast<char>(nValue));
}

std::optional<quint64> readVarint(const uchar* pData, size_t nSize, size_t& nOffset)
{
    quint64 nValue = 0;
    for (int nIndex = 0; nIndex < kMaxVarintBytes; ++nIndex) {
        if (nOffset >= nSize)
            return std::nullopt;
        const uchar nByte = pData[nOffset++];
        const quint64 nGroup = nByte & 0x7f;
        // The tenth byte carries bit 63 only; anything above it would be lost.
        if (nIndex == kMaxVarintBytes - 1 && (nByte & 0xfe) != 0)
            return std::nullopt;
        nValue |= nGroup << (7 * nIndex);
        if ((nByte & 0x80) == 0)
            return nValue;
    }
    return std::nullopt;
}

} // namespace shared
