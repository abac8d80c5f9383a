#pragma once

#include "filefault.h"

#include "shared/filesize.h"

#include <QMutex>
#include <QWaitCondition>

#include <functional>
#include <vector>

namespace velmar::launcher {

class TFileDescription;

// The files one verification checks, handed out to its hashing tasks, and to a
// read-ahead that stays a bounded number of bytes in front of them: far enough
// to keep the disk busy across many small files, near enough that what it read
// is still in the page cache when hashed. Holds the first fault found, which
// stops everything.
class TVerificationQueue
{
public:
    TVerificationQueue(std::vector<const TFileDescription*> lFiles, shared::TFileSize nAheadLimit);

    // The next file to hash; null once every file is taken or a fault was found.
    const TFileDescription* take();
    // The next file to read ahead and how many of its first bytes (into nBytes);
    // waits while the read-ahead is the limit in front of the hashing; null when
    // there is nothing left to read ahead for, or fnStop() says so.
    const TFileDescription* nextAhead(shared::TFileSize& nBytes, const std::function<bool()>& fnStop);
    // Counts nBytes as hashed and tells the new sum and the total through
    // fnReport, in the order the sums grow.
    void addHashed(shared::TFileSize nBytes,
                   const std::function<void(shared::TFileSize nHashed, shared::TFileSize nTotal)>& fnReport);
    // Ends the verification as failed; the first fault given is the one kept.
    void fail(const TFileFault& oFault);
    bool failed() const;
    TFileFault fault() const;

private:
    mutable QMutex m_oMutex;
    // Woken when a file is taken, or the check fails.
    QWaitCondition m_oMoved;
    const std::vector<const TFileDescription*> m_lFiles;
    const shared::TFileSize m_nAheadLimit;
    shared::TFileSize m_nTotal = 0;
    // The next file to hash, and the bytes of the files taken so far.
    size_t m_nNext = 0;
    shared::TFileSize m_nTaken = 0;
    // The next file to read ahead, and the bytes up to the end of its read-ahead.
    size_t m_nAhead = 0;
    shared::TFileSize m_nReadAhead = 0;
    shared::TFileSize m_nHashed = 0;
    bool m_bFailed = false;
    TFileFault m_oFault;
};

} // namespace velmar::launcher
