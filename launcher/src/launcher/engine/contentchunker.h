#pragma once

#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <memory>

class QIODevice;
class QString;

namespace velmar::launcher {

// Receives one chunk: its first byte and its length. The bytes live in the
// chunker's buffer and stay valid only for the duration of the call.
using TChunkCallback = std::function<void(const char* pChunk, size_t nLength)>;

// Content-defined chunking with a gear rolling hash. The launcher and the
// publisher must cut every file at exactly the same places, otherwise chunks
// already on a player's disk are never recognised; so a boundary depends only on
// the bytes from 4 MiB past the chunk start up to the boundary, never on how the
// input arrives or how large the buffer is.
class TContentChunker
{
public:
    static constexpr size_t kMinimumChunkSize = size_t(1) << 22; // 4 MiB
    static constexpr size_t kMaximumChunkSize = size_t(1) << 24; // 16 MiB
    static constexpr quint32 kBoundaryMask = (quint32(1) << 22) - 1;
    // Room for one maximal chunk and some reads ahead. A buffer that fits the
    // processor's cache is faster than a large one: 24 MiB chunk and hash 1 GiB
    // about half again as fast as 144 MiB with 128 MiB reads.
    static constexpr size_t kDefaultBufferSize = size_t(24) << 20;
    static constexpr size_t kDefaultReadSize = size_t(1) << 20;

    // Indexed by byte value.
    static const quint32 kGearTable[256];

    // Length of the chunk that starts at pData. nAvailable is the number of bytes
    // left in the input, or any number of at least kMaximumChunkSize of them: the
    // chunk never extends past the first kMaximumChunkSize bytes. nAvailable > 0.
    static size_t chunkLength(const unsigned char* pData, size_t nAvailable);

    // nReadSize (> 0) is the most bytes asked of the device at once. The buffer
    // holds nBufferSize bytes, at least kMaximumChunkSize + nReadSize, and is
    // allocated here (std::bad_alloc when that fails); its pages are only touched
    // as far as the input fills them.
    explicit TContentChunker(size_t nBufferSize = kDefaultBufferSize, size_t nReadSize = kDefaultReadSize);
    ~TContentChunker();
    TContentChunker(const TContentChunker&) = delete;
    TContentChunker& operator=(const TContentChunker&) = delete;

    // Reads the open device to its end and reports its chunks in order. A failed
    // read throws std::runtime_error ("I/O error on file '<name>': <reason>" for a
    // file); the chunks before it have been reported by then. The bytes of a
    // chunk stay in place after its report until fnBeforeReuse is called (or the
    // call returns), so that a caller may still be reading them meanwhile.
    void chunkDevice(QIODevice& oDevice, const TChunkCallback& fnCallback,
                     const std::function<void()>& fnBeforeReuse = std::function<void()>());

private:
    // Feeds bytes [nFrom, nTo) of the chunk at pData to the rolling hash; returns
    // the chunk length if one of them ends it, else 0 with nHash carried on.
    static size_t scan(const unsigned char* pData, size_t nFrom, size_t nTo, quint32& nHash);

    size_t m_nReadSize;
    size_t m_nCapacity;
    std::unique_ptr<char[]> m_pBuffer;
};

} // namespace velmar::launcher
