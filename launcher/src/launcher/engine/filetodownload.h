#pragma once

#include "chunkrecord.h"
#include "launcher/documents/patchdescription.h"

#include <QString>

#include <vector>

namespace velmar::launcher {

// One file of a package difference: its chunks in file order and the positions
// among them that must still be fetched and written. Record k starts at the sum
// of the unpacked sizes of records 0 to k-1.
struct TFileToDownload
{
    QString m_sLocalFile;
    shared::TFileSize m_nUnpackedSize = 0;
    shared::TSha256Digest m_oUnpackedHash;
    bool m_bExecutable = false;
    // Never filled: installation does not apply patches.
    std::vector<TPatchDescription> m_lPatches;
    std::vector<TChunkRecord> m_lChunkRecords;
    // Ascending; empty when the file is complete.
    std::vector<qint32> m_lPositionsToWrite;
    // When set, the file is built there (relative to the package folder) and
    // renamed over its place once complete.
    QString m_sStagingFile;

    // Some of its bytes stay as they lie on the disk: only such a file can come
    // back to be checked again after its download.
    bool keepsBytes() const { return m_lPositionsToWrite.size() < m_lChunkRecords.size(); }
};

} // namespace velmar::launcher
