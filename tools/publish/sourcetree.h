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
    // Nanoseconds since the epoch; with the size it tells whether the file
    // changed while it was being published.
    qint64 nModified = 0;
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

    // True when the reading of the file described still matches: same size and
    // modification time.
    static bool unchanged(const TSourceFile& oFile);

private:
    void walk(const QByteArray& aFolder, const QString& sRelativeFolder, std::vector<QByteArray>& lAncestors);
    void addEntry(const QByteArray& aFolder, const QString& sRelativeFolder, const QByteArray& aName,
                  std::vector<QByteArray>& lAncestors);

    QByteArray m_aCanonicalRoot;
    QString m_sCanonicalRoot;
    std::vector<TSourceFile> m_lFiles;
    QStringList m_lProblems;
};
