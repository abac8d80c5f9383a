#pragma once

#include <QObject>
#include <QSharedMemory>

class QLocalServer;

namespace shared {

// Owns a one-byte shared-memory segment under a fixed key for as long as it
// lives; only the first process to create the segment is the first instance.
// The first instance can also hear of later starts under the same key, through
// a local socket whose name comes from the key alone.
class FirstInstanceTester : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(FirstInstanceTester)

public:
    explicit FirstInstanceTester(const QString& sKey, QObject* pParent = nullptr);
    ~FirstInstanceTester() override;

    bool isFirstInstance() const { return m_bFirstInstance; }
    QSharedMemory::SharedMemoryError error() const { return m_oSharedMemory.error(); }

    // For the first instance: laterStartRefused() follows each later start's
    // tellFirstInstance() from now on. Returns whether it listens.
    bool listenForLaterStarts();
    // For a later start: tells the first instance, waiting at most the time given.
    // Returns whether one heard it; none does while it is not listening yet.
    bool tellFirstInstance(int nTimeoutMilliseconds = 3000) const;
    // The local socket's name: the same for every start under the key, and short
    // enough for a socket path whatever the key holds.
    QString serverName() const;

signals:
    void laterStartRefused();

private:
    QString m_sKey;
    QSharedMemory m_oSharedMemory;
    bool m_bFirstInstance = false;
    QLocalServer* m_pServer = nullptr;
};

// Removes the segment of a process that died without detaching, so that it
// cannot block the next start; sNativeKey is the segment's native key. A segment
// of a live process is left alone. Returns whether a segment was found.
bool releaseAbandonedSegment(const QString& sNativeKey);

} // namespace shared
