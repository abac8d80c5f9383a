#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstring>

// Deterministic bytes that look random to a packer and to the rolling hash of
// the content-defined chunker (splitmix64 from the seed).
inline QByteArray noiseBytes(int nSize, quint64 nSeed)
{
    QByteArray aBytes(nSize, Qt::Uninitialized);
    for (int nOffset = 0; nOffset < nSize; nOffset += 8) {
        nSeed += 0x9E3779B97F4A7C15ULL;
        quint64 nValue = (nSeed ^ (nSeed >> 30)) * 0xBF58476D1CE4E5B9ULL;
        nValue = (nValue ^ (nValue >> 27)) * 0x94D049BB133111EBULL;
        nValue ^= nValue >> 31;
        std::memcpy(aBytes.data() + nOffset, &nValue, size_t(std::min(8, nSize - nOffset)));
    }
    return aBytes;
}
