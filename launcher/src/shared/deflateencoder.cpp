#include "packencoders.h"

#include <zlib.h>

#include <climits>
#include <stdexcept>

namespace shared {

namespace {

// Ends the stream however the encoder is left.
class TDeflateStream
{
public:
    explicit TDeflateStream(int nLevel)
    {
        // Window bits -15: raw deflate, no zlib header or trailer.
        if (deflateInit2(&m_oStream, nLevel, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("Deflate compression could not start.");
    }
    ~TDeflateStream() { deflateEnd(&m_oStream); }
    TDeflateStream(const TDeflateStream&) = delete;
    TDeflateStream& operator=(const TDeflateStream&) = delete;

    z_stream* operator->() { return &m_oStream; }
    z_stream* get() { return &m_oStream; }

private:
    z_stream m_oStream{};
};

} // namespace

QByteArray deflatePayload(const QByteArray& aInput, int nLevel)
{
    TDeflateStream oStream(nLevel);
    const auto nBound = deflateBound(oStream.get(), static_cast<uLong>(aInput.size()));
    if (nBound > static_cast<uLong>(INT_MAX) - 64)
        throw std::runtime_error("Data too large for deflate compression.");
    QByteArray aOutput(static_cast<int>(nBound), Qt::Uninitialized);
    oStream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(aInput.constData()));
    oStream->avail_in = static_cast<uInt>(aInput.size());
    oStream->next_out = reinterpret_cast<Bytef*>(aOutput.data());
    oStream->avail_out = static_cast<uInt>(aOutput.size());
    // The bound guarantees that one call with Z_FINISH completes the stream.
    if (deflate(oStream.get(), Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("Deflate compression failed.");
    aOutput.truncate(static_cast<int>(oStream->total_out));
    return aOutput;
}

} // namespace shared
