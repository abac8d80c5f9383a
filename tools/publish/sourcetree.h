#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// One regular file of a client folder, as it is to be installed.
struct TSourceFile
{
    // Relative to the client folder, '/'-separated, every name valid UTF-8.
    QString sRelativePath;
    // Where to read it; a symbolic link inside the folder is read through.
    QString sPath;
    quint64 nSize = 0;
    // Nanoseconds since the epoch. With the size, the change time and the
    // inode they tell whether the file changed since it was last read.
    qint64 nModified = 0;
    qint64 nChanged = 0;
    quint64 nInode = 0;
    quint64 nDevice = 0;
    // Any execute bit set in the file's mode.
    bool bExecutable = false;
};

// The files of a client folder, taken stock of before anything is published.
// The walk does not stop at the first bad entry: it lists every problem, so that
// a publisher can mend the folder in one go, and a folder with problems is never
// published at all.
//
// Published are regular files; folders are walked; a symbolic link is followed
// when it leads to a file or folder inside the client folder. A problem is: an
// entry that cannot be read, a link that leads nowhere, out of the folder or in a
// circle, a special file (device, pipe, socket), or a name that is not UTF-8.
class TSourceTree
{
public:
    explicit TSourceTree(const QString& sRoot);

    // Sorted by relative path, in the order the launcher sorts its file lists.
    const std::vector<TSourceFile>& files() const { return m_lFiles; }
    const QStringList& problems() const { return m_lProblems; }
    // The folder with every symbolic link resolved; empty when it cannot be walked.
    const QString& canonicalRoot() const { return m_sCanonicalRoot; }

    // The system's coarse clock, which stamps file changes, as the walk began
    // (nanoseconds since the epoch): a file whose change time is not before it
    // may change again without its change time moving.
    qint64 walkStarted() const { return m_nWalkStarted; }

    // True when the reading of the file described still matches: same size,
    // modification and change time, and inode.
    static bool unchanged(const TSourceFile& oFile);

private:
    void walk(const QByteArray& aFolder, const QString& sRelativeFolder, std::vector<QByteArray>& lAncestors);
    void addEntry(const QByteArray& aFolder, const QString& sRelativeFolder, const QByteArray& aName,
                  std::vector<QByteArray>& lAncestors);

    qint64 m_nWalkStarted = 0;
    QByteArray m_aCanonicalRoot;
    QString m_sCanonicalRoot;
    std::vector<TSourceFile> m_lFiles;
    QStringList m_lProblems;
};
