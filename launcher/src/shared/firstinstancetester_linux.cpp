#include "firstinstancetester.h"

#include <QFile>

namespace shared {

// System V segments outlive a crashed creator with no process attached, and
// their key comes from the key file's inode: once the key file is gone (a
// cleaned temporary folder), a new key file can get the same key while attach
// cannot even look for the segment. The key file is therefore put back for the
// probe. Detaching removes a segment nobody is attached to any more: exactly an
// abandoned one, as a live first instance stays attached to its own.
bool releaseAbandonedSegment(const QString& sNativeKey)
{
    QFile oKeyFile(sNativeKey);
    const bool bMadeKeyFile = !oKeyFile.exists() && oKeyFile.open(QIODevice::WriteOnly);
    oKeyFile.close();
    QSharedMemory oProbe;
    oProbe.setNativeKey(sNativeKey);
    const bool bAttached = oProbe.attach(QSharedMemory::ReadOnly);
    if (bAttached)
        oProbe.detach();
    else if (bMadeKeyFile)
        oKeyFile.remove();
    return bAttached;
}

} // namespace shared
