#include "firstinstancetester.h"

namespace shared {

// System V segments outlive a crashed creator with no process attached. Detaching
// removes a segment once nobody is attached any more, so a short attach and detach
// frees exactly an abandoned one: a live first instance stays attached to its own.
void releaseAbandonedSegment(const QString& sKey)
{
    QSharedMemory oProbe(sKey);
    if (oProbe.attach(QSharedMemory::ReadOnly))
        oProbe.detach();
}

} // namespace shared
