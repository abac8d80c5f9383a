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

constexpr int kChainHashBits = 20;
constexpr int kTripleHashBits = 16;
constexpr int kChainDepth = 32;
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

// Hash chains over 4-byte prefixes find the long matches; a table of the latest
// position of each 3-byte prefix adds the short ones, which pay off only nearby.
class TMatchFinder
{
public:
    TMatchFinder(const uchar* pData, int32_t nSize)
        : m_pData(pData), m_nSize(nSize), m_lHead(size_t{1} << kChainHashBits, kNoPosition),
          m_lLatestTriple(size_t{1} << kTripleHashBits, kNoPosition),
          m_lPrevious(std::min<size_t>(kMaxOffset, static_cast<size_t>(nSize)), kNoPosition),
          m_lTripleBefore(m_lPrevious.size(), kNoPosition)
    {
    }

    // Adds nPosition to the tables; positions must be added in order, and find()
    // may only be asked about added positions.
    void insert(int32_t nPosition)
    {
        if (nPosition + kMinMatch > m_nSize)
            return;
        int32_t& nLatest = m_lLatestTriple[tripleHash(nPosition)];
        m_lTripleBefore[slot(nPosition)] = nLatest;
        nLatest = nPosition;
        if (nPosition + 4 > m_nSize)
            return;
        int32_t& nHead = m_lHead[chainHash(nPosition)];
        m_lPrevious[slot(nPosition)] = nHead;
        nHead = nPosition;
    }

    // The most profitable match for the bytes at nPosition; nGain is 0 when no
    // match beats literals.
    TMatch find(int32_t nPosition) const
    {
        TMatch oBest;
        const int nLongest = std::min<int32_t>(kMaxMatch, m_nSize - nPosition);
        if (nLongest < kMinMatch)
            return oBest;
        consider(nPosition, m_lTripleBefore[slot(nPosition)], nLongest, oBest);
        if (nLongest < 4)
            return oBest;
        int32_t nCandidate = m_lPrevious[slot(nPosition)];
        for (int nDepth = 0; nDepth < kChainDepth && nCandidate != kNoPosition; ++nDepth) {
            if (static_cast<uint32_t>(nPosition - nCandidate) > kMaxOffset)
                break;
            if (consider(nPosition, nCandidate, nLongest, oBest))
                break;
            const int32_t nNext = m_lPrevious[slot(nCandidate)];
            // A slot a newer position has taken over ends the chain.
            if (nNext >= nCandidate)
                break;
            nCandidate = nNext;
        }
        return oBest;
    }

private:
    // Measures the match with nCandidate and keeps it if it gains more than oBest;
    // true when it is long enough to stop searching.
    bool consider(int32_t nPosition, int32_t nCandidate, int nLongest, TMatch& oBest) const
    {
        if (nCandidate == kNoPosition || static_cast<uint32_t>(nPosition - nCandidate) > kMaxOffset)
            return false;
        const uchar* pHere = m_pData + nPosition;
        const uchar* pThere = m_pData + nCandidate;
        // A candidate that cannot beat the best so far fails on this byte already.
        if (oBest.nLength > 0 && pThere[oBest.nLength] != pHere[oBest.nLength])
            return false;
        int nLength = 0;
        while (nLength < nLongest && pThere[nLength] == pHere[nLength])
            ++nLength;
        if (nLength < kMinMatch)
            return false;
        const auto nOffset = static_cast<uint32_t>(nPosition - nCandidate);
        const int nGain = matchGain(nLength, nOffset);
        if (nGain <= oBest.nGain)
            return false;
        oBest = {nLength, nOffset, nGain};
        return nLength >= kGoodEnoughMatch || nLength == nLongest;
    }

    size_t slot(int32_t nPosition) const { return static_cast<size_t>(nPosition) % m_lPrevious.size(); }

    uint32_t tripleHash(int32_t nPosition) const
    {
        const uchar* p = m_pData + nPosition;
        const uint32_t nPrefix = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        return (nPrefix * 2654435761u) >> (32 - kTripleHashBits);
    }

    uint32_t chainHash(int32_t nPosition) const
    {
        return (qFromLittleEndian<quint32>(m_pData + nPosition) * 2654435761u) >> (32 - kChainHashBits);
    }

    const uchar* m_pData;
    int32_t m_nSize;
    std::vector<int32_t> m_lHead;
    std::vector<int32_t> m_lLatestTriple;
    std::vector<int32_t> m_lPrevious;
    std::vector<int32_t> m_lTripleBefore;
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
