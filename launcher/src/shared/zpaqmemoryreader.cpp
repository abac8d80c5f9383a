#include "zpaqmemoryreader.h"

#include <algorithm>
#include <cstring>

namespace shared {

int TZpaqMemoryReader::get()
{
    return m_nPosition < m_nSize ? m_pData[m_nPosition++] : -1;
}

int TZpaqMemoryReader::read(char* pBuffer, int nCount)
{
    if (nCount <= 0)
        return 0;
    const size_t nTaken = std::min(static_cast<size_t>(nCount), m_nSize - m_nPosition);
    if (nTaken == 0)
        return 0;
    std::memcpy(pBuffer, m_pData + m_nPosition, nTaken);
    m_nPosition += nTaken;
    return static_cast<int>(nTaken);
}

} // namespace shared
