#pragma once

#include "filesize.h"

#include <QByteArray>

namespace shared {

class TCheckedFile;

// Writes a new file front to back past the page cache: whole blocks go straight
// to the disk from a buffer of the thread's own. The last partial block goes
// through the cache, so that the file holds every byte appended, whatever
// happens to the process, and is kept here to go out again whole with the bytes
// after it. Filling the page cache with a fresh file costs the processor about
// as much as unpacking it does, and a whole client there only pushes out what
// the player still uses. Where the file system takes no such writes, the file
// goes on through the page cache.
class TUncachedAppender
{
public:
    // Where the next append goes: the end of what was appended so far.
    TFileSize end() const { return m_nHeldAt + TFileSize(m_aHeld.size()); }

    // Appends the bytes at end(). Returns 0 or the error number; after an error
    // nothing has moved, so the same bytes may be appended again.
    int append(TCheckedFile& oFile, const char* pData, qint64 nSize);

private:
    // Bytes from m_nHeldAt on, fewer than a block: in the file, but only in the cache.
    QByteArray m_aHeld;
    // A block boundary: everything before it is in the file.
    TFileSize m_nHeldAt = 0;
    // The file system refused a write past the cache: the rest goes through it.
    bool m_bCached = false;
};

} // namespace shared
