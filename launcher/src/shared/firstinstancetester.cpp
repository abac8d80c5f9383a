#include "firstinstancetester.h"

namespace shared {

FirstInstanceTester::FirstInstanceTester(const QString& sKey, QObject* pParent)
    : QObject(pParent), m_oSharedMemory(sKey)
{
    // A segment a crashed instance left under the same system key is removed and
    // the claim made again; a live instance's segment survives the probe. The
    // segment's own system lock serialises the probe with every create and attach.
    for (int nTry = 0; nTry < 3; ++nTry) {
        m_bFirstInstance = m_oSharedMemory.create(1, QSharedMemory::ReadWrite);
        if (m_bFirstInstance || m_oSharedMemory.error() != QSharedMemory::AlreadyExists
            || !releaseAbandonedSegment(m_oSharedMemory.nativeKey()))
            return;
    }
}

} // namespace shared
