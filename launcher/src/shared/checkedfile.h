#pragma once

#include <QFile>
#include <QString>

namespace shared {

class TConfinedFolder;

// A file of the install engine: opened below a confined folder, never through a
// link, and unbuffered, with every read, write, flush to disk and resize
// passing the file-operation gate (fileoperation.h); syncFile() of
// checkedfileio.h flushes it to the disk. A failed operation leaves
// the system's reason ("No space left on device") in errorString().
class TCheckedFile : public QFile
{
public:
    TCheckedFile() = default;
    ~TCheckedFile() override;

    // Opens sRelative below oFolder: ReadOnly, or ReadWrite (created when
    // missing, unless with ExistingOnly; only created, with NewOnly), with
    // Truncate when asked. False with errorString() set when it cannot be
    // opened, also when a link or a folder stands there.
    bool open(const TConfinedFolder& oFolder, const QString& sRelative, OpenMode eMode);
    // Opens the file at the absolute path sPath, read-only: for files the engine
    // reads outside a folder it holds.
    bool open(const QString& sPath);
    // A file without a name in the temporary folder, gone once closed.
    bool openTemporary();

    // Read or write exactly nSize bytes at nOffset, leaving the file's position
    // alone, so that several threads may use one open file at once. Return 0, or
    // the error number of the failure (a file that ends early: EIO).
    int readAt(qint64 nOffset, char* pData, qint64 nSize);
    int writeAt(qint64 nOffset, const char* pData, qint64 nSize);
    // writeAt() for a caller that passed the gate once for several such writes.
    int writePassedAt(qint64 nOffset, const char* pData, qint64 nSize);
    // Gives the disk space of bytes no longer needed back (the file keeps its size).
    void discard(qint64 nOffset, qint64 nSize);
    // Tells the system the file is read once from start to end, so that it
    // reads further ahead of each read.
    void adviseSequential();
    // Whether the open file's owner may execute it: the file read, not whatever
    // stands at its name by now.
    bool ownerExecutable() const;

    QString fileName() const override;
    bool isSequential() const override;
    bool resize(qint64 nSize) override;
    bool setPermissions(Permissions ePermissions) override;

protected:
    qint64 readData(char* pData, qint64 nMaximum) override;
    qint64 writeData(const char* pData, qint64 nSize) override;

private:
    bool failWith(int nError);
    // Opens this file on the descriptor (failing with errno when it is -1), which it then owns.
    bool adopt(int nDescriptor, OpenMode eMode);

    QString m_sName;
    // Known to be a regular file: the toolkit need not ask the system again.
    bool m_bRegular = false;
};

} // namespace shared
