#pragma once

#include "chunkrecord.h"

#include <QUrl>

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
    // Where the current try fetches it (TChunkSources), and the sources this
    // attempt has tried, one bit each: an attempt ends when every source failed.
    QUrl m_oAddress;
    int m_nSource = 0;
    quint32 m_nTriedSources = 0;
};

} // namespace velmar::launcher
