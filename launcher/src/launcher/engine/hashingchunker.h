#pragma once

#include "contentchunker.h"

#include <QByteArray>

#include <functional>

class QFileDevice;
class QIODevice;
class QString;

namespace velmar::launcher {

// Receives one chunk and its SHA-256 (32 raw bytes). The bytes stay valid only
// for the duration of the call.
using THashedChunkCallback = std::function<void(const char* pChunk, size_t nLength, const QByteArray& aHash)>;

// Content-defined chunks with their SHA-256 on two cores: the calling thread
// reads and cuts the next chunk while a task on the global thread pool hashes
// the one before, and the chunks are reported on the calling thread, in order,
// once hashed. A task that has not started by the time its hash is needed is
// done by the calling thread instead, so that a full pool never stalls a scan.
class THashingChunker
{
public:
    // Room for two maximal chunks and a read: the chunk being hashed stays put
    // while the next one is cut.
    static constexpr size_t kBufferSize = 2 * TContentChunker::kMaximumChunkSize + TContentChunker::kDefaultReadSize;

    THashingChunker();

    // As TContentChunker::chunkDevice(); a failure of the hash throws
    // std::runtime_error as shared::TSha256 does.
    void chunkDevice(QIODevice& oDevice, const THashedChunkCallback& fnCallback);

private:
    TContentChunker m_oChunker;
};

// Chunks and hashes the file at sPath as THashingChunker does. A file that cannot
// be opened yields no chunks and false; a read error after opening throws.
bool chunkAndHashFileByContent(const QString& sPath, const THashedChunkCallback& fnCallback);
// The same for an open file; a read error throws.
void chunkAndHashFileByContent(QFileDevice& oFile, const THashedChunkCallback& fnCallback);

} // namespace velmar::launcher
