#include "packeddecoders.h"

#include "crushformat.h"

#include <QtEndian>

#include <cstring>

namespace shared {

namespace {

using namespace crush;

// Least-significant-first bit reader that never reads past its span.
class TBitReader
{
public:
    explicit TBitReader(TPayloadSpan oPayload) : m_pNext(oPayload.pData), m_pEnd(oPayload.pData + oPayload.nSize) {}

    // Tops the buffer up to at least 56 bits, or to whatever the input still holds.
    void refill()
    {
        if (m_pEnd - m_pNext >= 8) {
            m_nBuffer |= qFromLittleEndian<quint64>(m_pNext) << m_nBits;
            const int nBytes = (63 - m_nBits) >> 3;
            m_pNext += nBytes;
            m_nBits += nBytes * 8;
            return;
        }
        while (m_nBits <= 56 && m_pNext < m_pEnd) {
            m_nBuffer |= static_cast<quint64>(*m_pNext++) << m_nBits;
            m_nBits += 8;
        }
    }

    // False when the input ends before nCount bits (at most 32).
    bool take(int nCount, uint32_t& nValue)
    {
        if (m_nBits < nCount)
            return false;
        nValue = static_cast<uint32_t>(m_nBuffer & ((quint64{1} << nCount) - 1));
        m_nBuffer >>= nCount;
        m_nBits -= nCount;
        return true;
    }

private:
    const uchar* m_pNext;
    const uchar* m_pEnd;
    quint64 m_nBuffer = 0;
    int m_nBits = 0;
};

bool readExtraLength(TBitReader& oReader, uint32_t& nLength)
{
    for (int nStep = 0; nStep < kLengthStepCount - 1; ++nStep) {
        uint32_t nFlag = 0;
        if (!oReader.take(1, nFlag))
            return false;
        if (nFlag) {
            if (!oReader.take(kLengthSteps[nStep].nBits, nLength))
                return false;
            nLength += kLengthSteps[nStep].nBase;
            return true;
        }
    }
    const TLengthStep& oLast = kLengthSteps[kLengthStepCount - 1];
    if (!oReader.take(oLast.nBits, nLength))
        return false;
    nLength += oLast.nBase;
    return true;
}

bool readDistance(TBitReader& oReader, uint32_t& nDistance)
{
    uint32_t nSlot = 0;
    if (!oReader.take(kSlotBits, nSlot))
        return false;
    if (nSlot == 0)
        return oReader.take(kNearDistanceBits, nDistance);
    const int nBits = static_cast<int>(nSlot) + kSlotBitsOffset;
    if (!oReader.take(nBits, nDistance))
        return false;
    nDistance += uint32_t{1} << nBits;
    return true;
}

} // namespace

TDecodeResult decodeCrushPayload(TPayloadSpan oPayload, TOutputSpan oOutput)
{
    TBitReader oReader(oPayload);
    uchar* const pOutput = oOutput.pData;
    size_t nPosition = 0;
    while (nPosition < oOutput.nSize) {
        // One refill covers a whole token (kLongestTokenBits <= 56).
        oReader.refill();
        uint32_t nIsMatch = 0;
        if (!oReader.take(1, nIsMatch))
            return std::nullopt;
        if (!nIsMatch) {
            uint32_t nLiteral = 0;
            if (!oReader.take(8, nLiteral))
                return std::nullopt;
            pOutput[nPosition++] = static_cast<uchar>(nLiteral);
            continue;
        }
        uint32_t nExtraLength = 0;
        uint32_t nDistance = 0;
        if (!readExtraLength(oReader, nExtraLength) || !readDistance(oReader, nDistance))
            return std::nullopt;
        const size_t nOffset = static_cast<size_t>(nDistance) + 1;
        if (nOffset > nPosition)
            return std::nullopt;
        // The declared size ends the output even in the middle of a match.
        const size_t nLength = std::min<size_t>(kMinMatch + nExtraLength, oOutput.nSize - nPosition);
        uchar* pTarget = pOutput + nPosition;
        const uchar* pSource = pTarget - nOffset;
        if (nOffset >= nLength) {
            std::memcpy(pTarget, pSource, nLength);
        } else {
            // The match overlaps the bytes it produces: copy byte by byte.
            for (size_t nIndex = 0; nIndex < nLength; ++nIndex)
                pTarget[nIndex] = pSource[nIndex];
        }
        nPosition += nLength;
    }
    return nPosition;
}

} // namespace shared
