#pragma once

#include <QObject>
#include <QSharedMemory>

namespace shared {

// Owns a one-byte shared-memory segment under a fixed key for as long as it
// lives; only the first process to create the segment is the first instance.
class FirstInstanceTester : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FirstInstanceTester)

public:
    explicit FirstInstanceTester(const QString& sKey, QObject* pParent = nullptr);
    ~FirstInstanceTester() override;

    bool isFirstInstance() const { return m_bFirstInstance; }
    QSharedMemory::SharedMemoryError error() const { return m_oSharedMemory.error(); }

private:
    QSharedMemory m_oSharedMemory;
    bool m_bFirstInstance = false;
};

// Removes the segment of a process that died without detaching, so that it
// cannot block the next start; sNativeKey is the segment's native key. A segment
// of a live process is left alone. Returns whether a segment was found.
bool releaseAbandonedSegment(const QString& sNativeKey);

} // namespace shared
