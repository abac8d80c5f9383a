#pragma once

#include <QString>
#include <QStringList>

// An exclusive hold on a CDN folder, so that two runs of corvane-publish (build,
// prune) never work on one folder at once: flock() on the file
// ".corvane-publish.lock" inside it. The kernel drops the lock when the process
// ends however it ends, so a killed run leaves no stale lock behind.
//
// The lock file is removed when the hold ends, and the folder too when this hold
// created it (with any missing parents) and it is empty again. A run that opens the file just before it is
// removed finds, once it holds the lock, that the name now leads elsewhere, and
// tries again on the new file.
class TCdnLock
{
public:
    TCdnLock() = default;
    ~TCdnLock();
    TCdnLock(const TCdnLock&) = delete;
    TCdnLock& operator=(const TCdnLock&) = delete;

    // Creates the folder when it is missing and takes the lock without waiting.
    // False, with errorString() set to one line, when another run holds it or
    // the folder or lock file cannot be made.
    bool acquire(const QString& sFolder);
    const QString& errorString() const { return m_sError; }

private:
    void release();
    void removeCreatedFolders();

    QString m_sLockPath;
    // Deepest first.
    QStringList m_lCreatedFolders;
    int m_nDescriptor = -1;
    QString m_sError;
};
