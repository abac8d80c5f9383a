#include "firstinstancetester.h"

namespace shared {

FirstInstanceTester::FirstInstanceTester(const QString& sKey, QObject* pParent)
    : QObject(pParent), m_oSharedMemory(sKey)
{
    // The segment's own system lock serialises the probe with every create and
    // attach of the key, so a probe never sees a segment between its creation
    // and its creator attaching to it.
    releaseAbandonedSegment(sKey);
    m_bFirstInstance = m_oSharedMemory.create(1, QSharedMemory::ReadWrite);
}

} // namespace shared
