#pragma once

#include <QByteArray>
#include <QTemporaryFile>

namespace velmar::launcher {

// A chunk that arrived before a file reached the place that needs it: kept in
// memory or, past the cache's limits, in a temporary file until then.
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
    QTemporaryFile m_oFile;
    EStorage m_eStorage = None;
};

} // namespace velmar::launcher
