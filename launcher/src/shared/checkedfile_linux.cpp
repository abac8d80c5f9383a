#include "checkedfile.h"

#include "confinedfolder.h"
#include "fileoperation.h"

#include <QDir>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace shared {

TCheckedFile::~TCheckedFile() = default;

bool TCheckedFile::failWith(int nError)
{
    setErrorString(QString::fromLocal8Bit(std::strerror(nError)));
    return false;
}

bool TCheckedFile::isSequential() const
{
    return !m_bRegular && QFile::isSequential();
}

bool TCheckedFile::adopt(int nDescriptor, OpenMode eMode)
{
    if (nDescriptor < 0)
        return failWith(errno);
    if (!QFile::open(nDescriptor, eMode | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(nDescriptor);
        return false;
    }
    return true;
}

bool TCheckedFile::open(const TConfinedFolder& oFolder, const QString& sRelative, OpenMode eMode)
{
    m_sName = oFolder.filePath(sRelative);
    m_bRegular = false;
    // Without waiting: a named pipe put at a file's place would hold the open
    // until a writer came, for ever; the status check below refuses it at once.
    // On a regular file the flag changes nothing.
    int nFlags = ((eMode & QIODevice::WriteOnly) ? O_RDWR | O_CREAT : O_RDONLY) | O_NONBLOCK;
    if (eMode & QIODevice::ExistingOnly)
        nFlags &= ~O_CREAT;
    if (eMode & QIODevice::Truncate)
        nFlags |= O_TRUNC;
    if (eMode & QIODevice::NewOnly)
        nFlags |= O_CREAT | O_EXCL;
    const int nDescriptor = oFolder.openDescriptor(sRelative, nFlags);
    if (nDescriptor < 0)
        return failWith(errno);
    // A file made by this very call is a new regular file; anything else is looked at.
    struct stat oStatus {};
    if (!(eMode & QIODevice::NewOnly) && (::fstat(nDescriptor, &oStatus) != 0 || !S_ISREG(oStatus.st_mode))) {
        ::close(nDescriptor);
        if (S_ISDIR(oStatus.st_mode))
            return failWith(EISDIR);
        setErrorString(QStringLiteral("It is no regular file"));
        return false;
    }
    m_bRegular = true;
    return adopt(nDescriptor, (eMode & QIODevice::WriteOnly) ? QIODevice::ReadWrite : QIODevice::ReadOnly);
}

bool TCheckedFile::open(const QString& sPath)
{
    m_sName = sPath;
    m_bRegular = false;
    if (const int nFault = fileOperationFault(EFileOperation::Open, m_sName))
        return failWith(nFault);
    return adopt(::open(QFile::encodeName(sPath).constData(), O_RDONLY | O_CLOEXEC), QIODevice::ReadOnly);
}

bool TCheckedFile::openTemporary()
{
    const QString sFolder = QDir::tempPath();
    m_sName = QStringLiteral("%1 (a temporary file)").arg(sFolder);
    m_bRegular = true;
    if (const int nFault = fileOperationFault(EFileOperation::Open, m_sName))
        return failWith(nFault);
    const QByteArray aFolder = QFile::encodeName(sFolder);
    int nDescriptor = ::open(aFolder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (nDescriptor < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a named one, unlinked at once.
        QByteArray aTemplate = aFolder + "/corvane-XXXXXX";
        nDescriptor = ::mkostemp(aTemplate.data(), O_CLOEXEC);
        if (nDescriptor >= 0)
            ::unlink(aTemplate.constData());
    }
    return adopt(nDescriptor, QIODevice::ReadWrite);
}

namespace {

// Moves all nSize bytes at nOffset with the positional call fnStep (pread,
// pwrite), however many calls it takes; 0, or the error number. A call that
// moves nothing fails with nShort.
template <typename TBuffer, typename TStep>
int transferAt(int nDescriptor, qint64 nOffset, TBuffer* pData, qint64 nSize, TStep fnStep, int nShort)
{
    for (qint64 nDone = 0; nDone < nSize;) {
        const ssize_t nMoved = fnStep(nDescriptor, pData + nDone, size_t(nSize - nDone), off_t(nOffset + nDone));
        if (nMoved < 0 && errno == EINTR)
            continue;
        if (nMoved <= 0)
            return nMoved < 0 ? errno : nShort;
        nDone += nMoved;
    }
    return 0;
}

} // namespace

int TCheckedFile::readAt(qint64 nOffset, char* pData, qint64 nSize)
{
    if (const int nFault = fileOperationFault(EFileOperation::Read, m_sName))
        return nFault;
    return transferAt(handle(), nOffset, pData, nSize, ::pread, EIO);
}

int TCheckedFile::writeAt(qint64 nOffset, const char* pData, qint64 nSize)
{
    if (const int nFault = fileOperationFault(EFileOperation::Write, m_sName))
        return nFault;
    return writePassedAt(nOffset, pData, nSize);
}

int TCheckedFile::writePassedAt(qint64 nOffset, const char* pData, qint64 nSize)
{
    // A write that stops short without a reason is a full disk.
    return transferAt(handle(), nOffset, pData, nSize, ::pwrite, ENOSPC);
}

void TCheckedFile::discard(qint64 nOffset, qint64 nSize)
{
    // Where holes cannot be punched the bytes stay until the file is closed.
    ::fallocate(handle(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(nOffset), off_t(nSize));
}

void TCheckedFile::adviseSequential()
{
    ::posix_fadvise(handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool TCheckedFile::ownerExecutable() const
{
    struct stat oStatus {};
    return ::fstat(handle(), &oStatus) == 0 && (oStatus.st_mode & S_IXUSR) != 0;
}

QString TCheckedFile::fileName() const
{
    return m_sName;
}

bool TCheckedFile::resize(qint64 nSize)
{
    if (const int nFault = fileOperationFault(EFileOperation::Resize, m_sName))
        return failWith(nFault);
    if (::ftruncate(handle(), off_t(nSize)) != 0)
        return failWith(errno);
    if (pos() > nSize)
        seek(nSize);
    return true;
}

bool TCheckedFile::setPermissions(Permissions ePermissions)
{
    // Qt's permission bits (owner, user, group, other, 4 bits each) in the system's terms.
    mode_t nMode = 0;
    const auto add = [&](QFileDevice::Permission ePermission, mode_t nBit) {
        if (ePermissions & ePermission)
            nMode |= nBit;
    };
    add(QFileDevice::ReadOwner, S_IRUSR);
    add(QFileDevice::WriteOwner, S_IWUSR);
    add(QFileDevice::ExeOwner, S_IXUSR);
    add(QFileDevice::ReadGroup, S_IRGRP);
    add(QFileDevice::WriteGroup, S_IWGRP);
    add(QFileDevice::ExeGroup, S_IXGRP);
    add(QFileDevice::ReadOther, S_IROTH);
    add(QFileDevice::WriteOther, S_IWOTH);
    add(QFileDevice::ExeOther, S_IXOTH);
    if (::fchmod(handle(), nMode) != 0)
        return failWith(errno);
    return true;
}

qint64 TCheckedFile::readData(char* pData, qint64 nMaximum)
{
    if (const int nFault = fileOperationFault(EFileOperation::Read, m_sName))
        return failWith(nFault) ? 0 : -1;
    ssize_t nRead;
    do
        nRead = ::read(handle(), pData, size_t(nMaximum));
    while (nRead < 0 && errno == EINTR);
    if (nRead < 0)
        return failWith(errno) ? 0 : -1;
    return nRead;
}

qint64 TCheckedFile::writeData(const char* pData, qint64 nSize)
{
    if (const int nFault = fileOperationFault(EFileOperation::Write, m_sName))
        return failWith(nFault) ? 0 : -1;
    qint64 nDone = 0;
    while (nDone < nSize) {
        const ssize_t nWritten = ::write(handle(), pData + nDone, size_t(nSize - nDone));
        if (nWritten < 0 && errno == EINTR)
            continue;
        // A write that stops short without a reason is a full disk.
        if (nWritten <= 0)
            return failWith(nWritten < 0 ? errno : ENOSPC) ? 0 : -1;
        nDone += nWritten;
    }
    return nDone;
}

} // namespace shared
