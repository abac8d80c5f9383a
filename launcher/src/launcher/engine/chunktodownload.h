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
    // The chunk's first packed bytes that earlier attempts (of this run or one
    // before) received, lying in its kept file (TPartialChunks): the next
    // attempt asks for the rest, and its body begins here.
    shared::TFileSize m_nKept = 0;
    // Where the current try fetches it (TChunkSources), and the sources this
    // attempt has tried, one bit each: an attempt ends when every source failed.
    QUrl m_oAddress;
    int m_nSource = 0;
    quint32 m_nTriedSources = 0;
    // Neither finished nor given up.
    bool m_bInProgress = false;
    // The most bytes any attempt has received, kept ones included: a retry does
    // not make the total go back.
    shared::TFileSize m_nDownloaded = 0;
};

} // namespace velmar::launcher
