#pragma once

#include "chunkrecord.h"

#include <memory>
#include <vector>

namespace velmar::launcher {

struct TChunkedFileState;

// One distinct chunk address of a file set and every file that needs its bytes.
struct TChunkToDownload
{
    TChunkRecord m_oRecord;
    std::vector<std::shared_ptr<TChunkedFileState>> m_lFileStates;
    int m_nRetryCount = 0;
};

} // namespace velmar::launcher
