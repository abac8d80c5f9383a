#pragma once

#include <libzpaq.h>

#include <cstddef>

namespace shared {

// Feeds libzpaq from a span of memory.
class TZpaqMemoryReader : public libzpaq::Reader
{
public:
    TZpaqMemoryReader(const unsigned char* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}

    int get() override;
    int read(char* pBuffer, int nCount) override;

private:
    const unsigned char* m_pData;
    size_t m_nSize;
    size_t m_nPosition = 0;
};

} // namespace shared
