#include "firstinstancetester.h"

namespace shared {

FirstInstanceTester::FirstInstanceTester(const QString& sKey, QObject* pParent)
    : QObject(pParent), m_oSharedMemory(sKey)
{
    releaseAbandonedSegment(sKey);
    m_bFirstInstance = m_oSharedMemory.create(1, QSharedMemory::ReadWrite);
}

} // namespace shared
