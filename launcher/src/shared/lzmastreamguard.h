#pragma once

#include <lzma.h>

namespace shared {

// Ends a liblzma stream, and frees what it holds, on every way out of a scope.
class TLzmaStreamGuard
{
public:
    explicit TLzmaStreamGuard(lzma_stream& oStream) : m_oStream(oStream) {}
    ~TLzmaStreamGuard() { lzma_end(&m_oStream); }
    TLzmaStreamGuard(const TLzmaStreamGuard&) = delete;
    TLzmaStreamGuard& operator=(const TLzmaStreamGuard&) = delete;

private:
    lzma_stream& m_oStream;
};

} // namespace shared
