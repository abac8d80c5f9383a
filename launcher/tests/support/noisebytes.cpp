#include "noisebytes.h"

#include <algorithm>
#include <cstring>

QByteArray noiseBytes(int nSize, quint64 nSeed)
{
    QByteArray aBytes(nSize, Qt::Uninitialized);
    quint64 nState = nSeed;
    for (int nOffset = 0; nOffset < nSize; nOffset += 8) {
        nState += 0x9E3779B97F4A7C15ULL;
        quint64 nValue = nState;
        nValue = (nValue ^ (nValue >> 30)) * 0xBF58476D1CE4E5B9ULL;
        nValue = (nValue ^ (nValue >> 27)) * 0x94D049BB133111EBULL;
        nValue ^= nValue >> 31;
        std::memcpy(aBytes.data() + nOffset, &nValue, size_t(std::min(8, nSize - nOffset)));
    }
    return aBytes;
}
