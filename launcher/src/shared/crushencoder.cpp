#include "packencoders.h"

#include "crushformat.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

namespace shared {

namespace {

using namespace crush;

constexpr int kHashBits = 16;
constexpr int kChainDepth = 48;
// A match this long is taken without looking for a longer one.
constexpr int kGoodEnoughMatch = 192;
constexpr int kLiteralBits = 9;
constexpr int32_t kNoPosition = -1;

// Least-significant-first bit writer into a buffer sized for the worst case.
class TBitWriter
{
public:
    explicit TBitWriter(uchar* pOutput) : m_pOutput(pOutput) {}

    void put(uint32_t nValue, int nCount)
    {
        m_nBuffer |= static_cast<quint64>(nValue) << m_nBits;
        m_nBits += nCount;
        if (m_nBits >= 32) {
            qToLittleEndian<quint32>(static_cast<quint32>(m_nBuffer), m_pOutput + m_nWritten);
            m_nWritten += 4;
            m_nBuffer >>= 32;
            m_nBits -= 32;
        }
    }

    // Pads the last byte with 0 bits; returns the bytes written.
    size_t finish()
    {
        while (m_nBits > 0) {
            m_pOutput[m_nWritten++] = static_cast<uchar>(m_nBuffer);
            m_nBuffer >>= 8;
            m_nBits -= 8;
        }
        return m_nWritten;
    }

private:
    uchar* m_pOutput;
    quint64 m_nBuffer = 0;
    int m_nBits = 0;
    size_t m_nWritten = 0;
};

int lengthStep(uint32_t nExtraLength)
{
    int nStep = 0;
    while (nStep < kLengthStepCount - 1 && nExtraLength >= kLengthSteps[nStep + 1].nBase)
        ++nStep;
    return nStep;
}

int floorLog2(uint32_t nValue)
{
    int nLog = 0;
    while (nValue >>= 1)
        ++nLog;
    return nLog;
}

int matchBits(int nLength, uint32_t nOffset)
{
    const int nStep = lengthStep(static_cast<uint32_t>(nLength - kMinMatch));
    const int nLengthBits = std::min(nStep + 1, kLengthStepCount - 1) + kLengthSteps[nStep].nBits;
    const uint32_t nDistance = nOffset - 1;
    const int nDistanceBits = nDistance < (1u << kNearDistanceBits) ? kNearDistanceBits : floorLog2(nDistance);
    return 1 + nLengthBits + kSlotBits + nDistanceBits;
}

// Bits a match saves over literals; not positive when literals are as cheap.
int matchGain(int nLength, uint32_t nOffset)
{
    return nLength * kLiteralBits - matchBits(nLength, nOffset);
}

void writeLiteral(TBitWriter& oWriter, uchar nByte)
{
    oWriter.put(static_cast<uint32_t>(nByte) << 1, 1 + 8);
}

void writeMatch(TBitWriter& oWriter, int nLength, uint32_t nOffset)
{
    oWriter.put(1, 1);
    const uint32_t nExtraLength = static_cast<uint32_t>(nLength - kMinMatch);
    const int nStep = lengthStep(nExtraLength);
    // nStep 0 bits, then (except on the last step) the 1 bit that ends the cascade.
    if (nStep < kLengthStepCount - 1)
        oWriter.put(1u << nStep, nStep + 1);
    else
        oWriter.put(0, nStep);
    oWriter.put(nExtraLength - kLengthSteps[nStep].nBase, kLengthSteps[nStep].nBits);

    const uint32_t nDistance = nOffset - 1;
    if (nDistance < (1u << kNearDistanceBits)) {
        oWriter.put(0, kSlotBits);
        oWriter.put(nDistance, kNearDistanceBits);
        return;
    }
    const int nBits = floorLog2(nDistance);
    oWriter.put(static_cast<uint32_t>(nBits - kSlotBitsOffset), kSlotBits);
    oWriter.put(nDistance - (1u << nBits), nBits);
}

struct TMatch
{
    int nLength = 0;
    uint32_t nOffset = 0;
    int nGain = 0;
};

// Greedy LZ77 with one step of lazy evaluation over hash chains of 3-byte prefixes.
class TMatchFinder
{
public:
    TMatchFinder(const uchar* pData, int32_t nSize)
        : m_pData(pData), m_nSize(nSize), m_lHead(size_t{1} << kHashBits, kNoPosition),
          m_lPrevious(std::min<size_t>(kMaxOffset, static_cast<size_t>(nSize)), kNoPosition)
    {
    }

    // Adds nPosition to the chains; positions must be added in order.
    void insert(int32_t nPosition)
    {
        if (nPosition + kMinMatch > m_nSize)
            return;
        int32_t& nHead = m_lHead[hash(nPosition)];
        m_lPrevious[static_cast<size_t>(nPosition) % m_lPrevious.size()] = nHead;
        nHead = nPosition;
    }

    // The most profitable match for the bytes at nPosition, which must already be
    // inserted; nGain is 0 when no match beats literals.
    TMatch find(int32_t nPosition) const
    {
        TMatch oBest;
        const int nLongest = std::min<int32_t>(kMaxMatch, m_nSize - nPosition);
        if (nLongest < kMinMatch)
            return oBest;
        const uchar* pHere = m_pData + nPosition;
        int32_t nCandidate = m_lPrevious[static_cast<size_t>(nPosition) % m_lPrevious.size()];
        for (int nDepth = 0; nDepth < kChainDepth && nCandidate != kNoPosition; ++nDepth) {
            const auto nOffset = static_cast<uint32_t>(nPosition - nCandidate);
            if (nOffset > kMaxOffset)
                break;
            const uchar* pThere = m_pData + nCandidate;
            if (pThere[oBest.nLength] == pHere[oBest.nLength] || oBest.nLength == 0) {
                int nLength = 0;
                while (nLength < nLongest && pThere[nLength] == pHere[nLength])
                    ++nLength;
                if (nLength >= kMinMatch) {
                    const int nGain = matchGain(nLength, nOffset);
                    if (nGain > oBest.nGain) {
                        oBest = {nLength, nOffset, nGain};
                        if (nLength >= kGoodEnoughMatch || nLength == nLongest)
                            break;
                    }
                }
            }
            const int32_t nNext = m_lPrevious[static_cast<size_t>(nCandidate) % m_lPrevious.size()];
            // A slot overwritten by a newer position ends the chain.
            if (nNext >= nCandidate)
                break;
            nCandidate = nNext;
        }
        return oBest;
    }

private:
    uint32_t hash(int32_t nPosition) const
    {
        const uchar* p = m_pData + nPosition;
        const uint32_t nPrefix = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        return (nPrefix * 2654435761u) >> (32 - kHashBits);
    }

    const uchar* m_pData;
    int32_t m_nSize;
    std::vector<int32_t> m_lHead;
    std::vector<int32_t> m_lPrevious;
};

} // namespace

QByteArray crushPayload(const QByteArray& aInput)
{
    const int32_t nSize = aInput.size();
    // Worst case: every byte a 9-bit literal, plus the bit buffer's last word.
    const qint64 nBound = static_cast<qint64>(nSize) * kLiteralBits / 8 + 16;
    if (nBound > INT_MAX - 64)
        throw std::runtime_error("Data too large for crush compression.");
    QByteArray aOutput(static_cast<int>(nBound), Qt::Uninitialized);
    const auto* pData = reinterpret_cast<const uchar*>(aInput.constData());
    TBitWriter oWriter(reinterpret_cast<uchar*>(aOutput.data()));
    TMatchFinder oFinder(pData, nSize);

    int32_t nPosition = 0;
    oFinder.insert(0);
    TMatch oCurrent = oFinder.find(0);
    while (nPosition < nSize) {
        if (oCurrent.nGain <= 0) {
            writeLiteral(oWriter, pData[nPosition]);
            ++nPosition;
            oFinder.insert(nPosition);
            oCurrent = oFinder.find(nPosition);
            continue;
        }
        // One step of lazy evaluation: a better match one byte later wins over this
        // one plus a literal.
        oFinder.insert(nPosition + 1);
        const TMatch oNext = oCurrent.nLength < kGoodEnoughMatch ? oFinder.find(nPosition + 1) : TMatch();
        if (oNext.nGain > oCurrent.nGain + kLiteralBits) {
            writeLiteral(oWriter, pData[nPosition]);
            ++nPosition;
            oCurrent = oNext;
            continue;
        }
        writeMatch(oWriter, oCurrent.nLength, oCurrent.nOffset);
        const int32_t nEnd = nPosition + oCurrent.nLength;
        for (int32_t nInserted = nPosition + 2; nInserted <= nEnd; ++nInserted)
            oFinder.insert(nInserted);
        nPosition = nEnd;
        oCurrent = oFinder.find(nPosition);
    }
    aOutput.truncate(static_cast<int>(oWriter.finish()));
    return aOutput;
}

} // namespace shared
