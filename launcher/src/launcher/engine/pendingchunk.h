#pragma once

#include "shared/filesize.h"

#include <QByteArray>

namespace velmar::launcher {

// A chunk that arrived before a file reached the place that needs it: kept in
// memory or, past the cache's limits, in the downloader's spill file until then.
struct TPendingChunk
{
    enum EStorage
    {
        None = 0,
        Memory = 1,
        TemporaryFile = 2,
    };

    // Positions across all files with this hash that are still to be written.
    int m_nUseCount = 0;
    QByteArray m_aData;
    // Where the bytes lie in the spill file.
    shared::TFileSize m_nSpillOffset = 0;
    shared::TFileSize m_nSpillSize = 0;
    EStorage m_eStorage = None;
};

} // namespace velmar::launcher
