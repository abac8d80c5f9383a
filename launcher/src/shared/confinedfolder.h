#pragma once

#include "filesize.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace shared {

// A folder held by a descriptor of its own, below which every file is reached
// relative to that descriptor and never through a link: a folder inside it that
// is swapped for a link while the engine works leads the engine's writes
// nowhere (the operation fails), never out of the folder. The way to the folder
// itself may pass links; nothing below it may.
//
// Relative paths use "/" and consist of plain names (no empty, "." or ".."
// components). Every operation passes the file-operation gate (fileoperation.h).
// Failures of the throwing operations are the "I/O error on file" runtime error
// with the system's reason; the others return false and leave errno set.
class TConfinedFolder
{
public:
    enum class EEntry
    {
        Missing,
        File,
        Folder,
        Link,
        Other,
    };
    struct TStatus
    {
        EEntry m_eEntry = EEntry::Missing;
        TFileSize m_nSize = 0;
        // Executable by its owner, its group and everyone else.
        bool m_bExecutable = false;
        bool m_bOwnerExecutable = false;
    };

    // Opens the folder at sPath, creating it and its parents when missing.
    explicit TConfinedFolder(const QString& sPath);
    ~TConfinedFolder();
    TConfinedFolder(const TConfinedFolder&) = delete;
    TConfinedFolder& operator=(const TConfinedFolder&) = delete;

    const QString& path() const { return m_sPath; }
    // sRelative below the folder, as text for messages and logs.
    QString filePath(const QString& sRelative) const;

    // Takes the folder's exclusive lock without waiting; false when another
    // holder has it (another program, or another open of the folder in this
    // one). The lock goes with unlock() or with this object.
    bool tryLock();
    void unlock();

    // A descriptor on the file sRelative, opened with the open(2) flags nFlags
    // (the final component is never followed either); -1 with errno set when it
    // cannot be opened. The caller owns the descriptor.
    int openDescriptor(const QString& sRelative, int nFlags, int nMode = 0666) const;
    TStatus status(const QString& sRelative) const;
    // Starts reading the first nSize bytes of the file sRelative into the page
    // cache and returns without waiting for them; nothing when it cannot be
    // opened (its reader finds out why). True when its first bytes were in the
    // page cache already. A hint, not an operation: it passes no gate, so that
    // the N-th operation a test fails is the same in every run.
    bool prefetch(const QString& sRelative, TFileSize nSize) const;
    // The names in the folder sRelative; empty when there is none, or a link
    // or something else than a folder stands there.
    QStringList entries(const QString& sRelative) const;
    // Creates the folder sRelative and the missing folders on the way to it.
    void createFolders(const QString& sRelative) const;
    // Moves sFrom to sTo, replacing a file at sTo.
    void rename(const QString& sFrom, const QString& sTo) const;
    // A second name sTo for the file sFrom (which must not exist yet).
    void link(const QString& sFrom, const QString& sTo) const;
    // Removes the file or link at sRelative; false when nothing stood there.
    bool removeFile(const QString& sRelative) const;
    // Removes whatever stands at sRelative, a folder with all it holds (links in
    // it are removed, never followed). Nothing there is no error.
    void removePath(const QString& sRelative) const;
    // Flushes everything written to the folder's file system to the disk.
    void syncFileSystem() const;
    // Bytes an unprivileged user may still write to the folder's file system.
    TFileSize availableSpace() const;

    // Without openat2 (kernels before 5.6, or container profiles that forbid it)
    // paths are resolved one component at a time; tests use that way on purpose.
    static void setComponentWalk(bool bAlways);

private:
    // A descriptor on the folder that holds sRelative's last component, and
    // that component; -1 with errno set when the way there is not plain folders.
    int openParent(const QString& sRelative, QByteArray& aName) const;
    // The same for a path split already: its components, none of them empty, "." or "..".
    int openParent(QList<QByteArray> lComponents, QByteArray& aName) const;
    void removeTreeAt(int nParent, const QByteArray& aName, const QString& sRelative) const;
    // Runs a step on two paths (renameat, linkat) by their folders' descriptors; 0 or errno.
    int twoNames(const QString& sFrom, const QString& sTo,
                 const std::function<int(int, const char*, int, const char*)>& fnStep) const;

    QString m_sPath;
    int m_nDescriptor = -1;
};

} // namespace shared
