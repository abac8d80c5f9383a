#include "firstinstancetester.h"

#include "namedfilemapping.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <memory>

namespace shared {

namespace {

// Qt's create() resets the segment's system lock instead of waiting on it, so
// two starts can interleave: one start's probe may remove the other's segment
// between its creation and its attachment, or a closing instance may remove the
// key file under a segment just created, and a third start then creates a second
// segment under a new key. Every claim, probe and release therefore holds a
// marker of its own for the few system calls it takes. A holder that died frees
// the marker at once; one that hangs is waited for only so long, and the claim
// then goes ahead as it would without the marker.
std::unique_ptr<TNamedFileMapping> holdClaimMarker(const QString& sNativeKey)
{
    const QByteArray aName = QFile::encodeName(QFileInfo(sNativeKey).fileName()) + ".claim";
    for (int nTry = 0; nTry < 10000; ++nTry) {
        auto pMarker = std::make_unique<TNamedFileMapping>(aName, true);
        if (pMarker->isHeld())
            return pMarker;
        QThread::usleep(500);
    }
    qWarning() << "Another start has held" << aName << "for 5 s; claiming without waiting any longer";
    return nullptr;
}

} // namespace

FirstInstanceTester::FirstInstanceTester(const QString& sKey, QObject* pParent)
    : QObject(pParent), m_oSharedMemory(sKey)
{
    const auto pClaim = holdClaimMarker(m_oSharedMemory.nativeKey());
    // A segment a crashed instance left under the same system key is removed and
    // the claim made again; a live instance's segment survives the probe.
    for (int nTry = 0; nTry < 3; ++nTry) {
        m_bFirstInstance = m_oSharedMemory.create(1, QSharedMemory::ReadWrite);
        if (m_bFirstInstance || m_oSharedMemory.error() != QSharedMemory::AlreadyExists
            || !releaseAbandonedSegment(m_oSharedMemory.nativeKey()))
            return;
    }
}

FirstInstanceTester::~FirstInstanceTester()
{
    // The last detach removes the segment and its key file: see holdClaimMarker.
    if (m_oSharedMemory.isAttached()) {
        const auto pClaim = holdClaimMarker(m_oSharedMemory.nativeKey());
        m_oSharedMemory.detach();
    }
}

} // namespace shared
