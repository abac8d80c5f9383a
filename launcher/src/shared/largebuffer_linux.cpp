#include "largebuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace shared {

namespace {

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
constexpr size_t kSmallestAdvised = size_t{4} << 20;

} // namespace

void adviseLargeBuffer(void* pData, size_t nSize)
{
    if (!pData || nSize < kSmallestAdvised)
        return;
    // Only whole huge pages inside the buffer: madvise() works on page ranges, and
    // the pages around the buffer belong to other allocations.
    const auto nStart = reinterpret_cast<uintptr_t>(pData);
    const uintptr_t nFirst = (nStart + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t nEnd = (nStart + nSize) & ~(kHugePage - 1);
    if (nEnd > nFirst)
        madvise(reinterpret_cast<void*>(nFirst), nEnd - nFirst, MADV_HUGEPAGE);
}

void* allocateLargeBuffer(void*, size_t nCount, size_t nSize)
{
    if (nSize != 0 && nCount > SIZE_MAX / nSize)
        return nullptr;
    void* pData = std::malloc(nCount * nSize);
    adviseLargeBuffer(pData, nCount * nSize);
    return pData;
}

void freeLargeBuffer(void*, void* pData)
{
    std::free(pData);
}

} // namespace shared
