#pragma once

#include "filetodownload.h"
#include "stagedfile.h"

#include "shared/checkedfile.h"
#include "shared/sha256.h"
#include "shared/uncachedappender.h"

#include <QMutex>

#include <list>
#include <memory>

namespace velmar::launcher {

// The write state of one target file, shared by every chunk the file needs. Its
// lock serialises all work on the file; it is taken before the cache lock, never
// after it.
struct TChunkedFileState
{
    // Takes oFile's chunk records; the rest of it stays as it was.
    explicit TChunkedFileState(TFileToDownload& oFile)
        : m_sLocalFile(oFile.m_sLocalFile)
        , m_nSize(oFile.m_nUnpackedSize)
        , m_oHash(oFile.m_oUnpackedHash)
        , m_bExecutable(oFile.m_bExecutable)
        , m_lChunkRecords(std::move(oFile.m_lChunkRecords))
        , m_lRemainingPositions(oFile.m_lPositionsToWrite.begin(), oFile.m_lPositionsToWrite.end())
        , m_bKeepsBytes(oFile.m_lPositionsToWrite.size() < m_lChunkRecords.size())
        , m_sTarget(oFile.m_sStagingFile.isEmpty() ? oFile.m_sLocalFile : stagingPath(oFile.m_sLocalFile))
        , m_sCommitTo(oFile.m_sStagingFile.isEmpty() ? QString() : oFile.m_sLocalFile)
    {
        // A file that is one record is checked whole by that record's hash already.
        m_bHashWhileWriting = !(m_lChunkRecords.size() == 1 && m_lChunkRecords.front().unpackedHash() == m_oHash
                                && m_lChunkRecords.front().unpackedSize() == m_nSize);
        m_lOffsets.reserve(m_lChunkRecords.size());
        shared::TFileSize nOffset = 0;
        for (const TChunkRecord& oRecord : m_lChunkRecords) {
            m_lOffsets.push_back(nOffset);
            nOffset += oRecord.unpackedSize();
        }
    }

    const QString m_sLocalFile;
    const shared::TFileSize m_nSize;
    const shared::TSha256Digest m_oHash;
    const bool m_bExecutable;
    const std::vector<TChunkRecord> m_lChunkRecords;
    // Byte offset of each record: the sum of the sizes of the records before it.
    std::vector<shared::TFileSize> m_lOffsets;
    QMutex m_oLock;
    std::list<int> m_lRemainingPositions;
    // Some records are not written but kept from what lay on the disk.
    const bool m_bKeepsBytes;
    bool m_bTargetPrepared = false;
    // Where the file is written, relative to the package folder: its place, or
    // its staging copy, which goes to m_sCommitTo once complete (empty when
    // written in place).
    const QString m_sTarget;
    const QString m_sCommitTo;
    // What only a file being written needs: made when its first chunk is written,
    // gone once it is complete, so that the files of a package waiting for their
    // turn or done cost no file object and no hash context each (a hundred thousand
    // of them held about 80 MiB).
    struct TWriting
    {
        shared::TCheckedFile m_oTarget;
        // The file's bytes are hashed as they are written front to back; kept bytes
        // between two writes are read back, so that a complete file is checked
        // against its hash without a second pass.
        shared::TSha256 m_oRunningHash;
        // A big new file goes to the disk past the page cache; null for the rest.
        std::unique_ptr<shared::TUncachedAppender> m_pAppender;
    };
    std::unique_ptr<TWriting> m_pWriting;
    shared::TFileSize m_nHashedUpTo = 0;
    bool m_bHashWhileWriting = true;

    TWriting& writing()
    {
        if (!m_pWriting)
            m_pWriting = std::make_unique<TWriting>();
        return *m_pWriting;
    }
    // Closes the file, if open; the hash goes on from where it stands.
    void closeTarget()
    {
        if (m_pWriting)
            m_pWriting->m_oTarget.close();
    }
};

} // namespace velmar::launcher
