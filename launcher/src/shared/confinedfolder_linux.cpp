#include "confinedfolder.h"

#include "fileoperation.h"
#include "ioerror.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>

namespace shared {

namespace {

// Whether openat2 is known to work (1), known missing (0), or untried (-1); a
// test may ask for the walk on purpose.
std::atomic<int> s_nOpenat2{-1};
std::atomic<bool> s_bWalkAlways{false};

QString systemError(int nError)
{
    return QString::fromLocal8Bit(std::strerror(nError));
}

// Closes the descriptor when it goes out of scope, keeping errno as it was.
class TDescriptor
{
public:
    explicit TDescriptor(int nDescriptor) : m_nDescriptor(nDescriptor) {}
    ~TDescriptor()
    {
        if (m_nDescriptor >= 0) {
            const int nError = errno;
            ::close(m_nDescriptor);
            errno = nError;
        }
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int get() const { return m_nDescriptor; }

private:
    int m_nDescriptor;
};

bool splitPath(const QString& sRelative, QList<QByteArray>& lComponents)
{
    const QStringList lParts = sRelative.split(QLatin1Char('/'));
    for (const QString& sPart : lParts) {
        if (sPart.isEmpty() || sPart == QLatin1String(".") || sPart == QLatin1String(".."))
            return false;
        lComponents << QFile::encodeName(sPart);
    }
    return !lComponents.isEmpty();
}

// Opens the folder aName below nParent without following a link; -1 and errno
// when it is missing or anything but a folder.
int openSubfolder(int nParent, const QByteArray& aName)
{
    const int nDescriptor = ::openat(nParent, aName.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (nDescriptor < 0)
        return -1;
    struct stat oStatus {};
    if (::fstat(nDescriptor, &oStatus) != 0 || !S_ISDIR(oStatus.st_mode)) {
        ::close(nDescriptor);
        errno = ENOTDIR;
        return -1;
    }
    return nDescriptor;
}

int walk(int nRoot, const QList<QByteArray>& lFolders)
{
    int nCurrent = ::fcntl(nRoot, F_DUPFD_CLOEXEC, 0);
    for (const QByteArray& aName : lFolders) {
        if (nCurrent < 0)
            return -1;
        const int nNext = openSubfolder(nCurrent, aName);
        TDescriptor oPrevious(nCurrent);
        nCurrent = nNext;
    }
    return nCurrent;
}

int openBeneath(int nRoot, const QByteArray& aPath, int nFlags = O_PATH | O_DIRECTORY | O_CLOEXEC, int nMode = 0)
{
    struct open_how oHow {};
    oHow.flags = quint64(nFlags);
    // The call refuses a mode with nothing to create.
    oHow.mode = (nFlags & (O_CREAT | O_TMPFILE)) ? quint64(nMode) : 0;
    oHow.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return int(::syscall(SYS_openat2, nRoot, aPath.constData(), &oHow, sizeof(oHow)));
}

// The names in the open folder nFolder but "." and ".."; false and errno when it cannot be read.
bool listNames(int nFolder, QList<QByteArray>& lNames)
{
    DIR* pListing = ::fdopendir(::fcntl(nFolder, F_DUPFD_CLOEXEC, 0));
    if (!pListing)
        return false;
    while (const dirent* pEntry = ::readdir(pListing)) {
        const QByteArray aEntry(pEntry->d_name);
        if (aEntry != "." && aEntry != "..")
            lNames.append(aEntry);
    }
    ::closedir(pListing);
    return true;
}

} // namespace

TConfinedFolder::TConfinedFolder(const QString& sPath) : m_sPath(QDir::cleanPath(sPath))
{
    if (const int nFault = fileOperationFault(EFileOperation::Open, m_sPath))
        throw ioError(m_sPath, systemError(nFault));
    QDir().mkpath(m_sPath);
    m_nDescriptor = ::open(QFile::encodeName(m_sPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_nDescriptor < 0)
        throw ioError(m_sPath, systemError(errno));
}

TConfinedFolder::~TConfinedFolder()
{
    ::close(m_nDescriptor);
}

QString TConfinedFolder::filePath(const QString& sRelative) const
{
    return m_sPath + QLatin1Char('/') + sRelative;
}

bool TConfinedFolder::tryLock()
{
    int nResult;
    do
        nResult = ::flock(m_nDescriptor, LOCK_EX | LOCK_NB);
    while (nResult != 0 && errno == EINTR);
    if (nResult == 0)
        return true;
    if (errno == EWOULDBLOCK)
        return false;
    // Some network file systems have no locks: there the folder goes unguarded, as before.
    qWarning() << "The folder" << m_sPath << "cannot be locked:" << systemError(errno);
    return true;
}

void TConfinedFolder::unlock()
{
    ::flock(m_nDescriptor, LOCK_UN);
}

void TConfinedFolder::setComponentWalk(bool bAlways)
{
    s_bWalkAlways = bAlways;
}

int TConfinedFolder::openParent(const QString& sRelative, QByteArray& aName) const
{
    QList<QByteArray> lComponents;
    if (!splitPath(sRelative, lComponents)) {
        errno = EINVAL;
        return -1;
    }
    return openParent(std::move(lComponents), aName);
}

int TConfinedFolder::openParent(QList<QByteArray> lComponents, QByteArray& aName) const
{
    aName = lComponents.takeLast();
    if (lComponents.isEmpty())
        return ::fcntl(m_nDescriptor, F_DUPFD_CLOEXEC, 0);
    if (!s_bWalkAlways && s_nOpenat2 != 0) {
        const int nDescriptor = openBeneath(m_nDescriptor, lComponents.join('/'));
        if (nDescriptor >= 0 || (errno != ENOSYS && errno != EPERM)) {
            s_nOpenat2 = 1;
            return nDescriptor;
        }
        if (s_nOpenat2.exchange(0) != 0)
            qInfo() << "openat2 is not available:" << systemError(errno) << "- paths are resolved a component at a time";
    }
    return walk(m_nDescriptor, lComponents);
}

int TConfinedFolder::openDescriptor(const QString& sRelative, int nFlags, int nMode) const
{
    if (const int nFault = fileOperationFault(EFileOperation::Open, filePath(sRelative))) {
        errno = nFault;
        return -1;
    }
    // Once the call is known to work, the whole path in one resolution rather
    // than its folder and then the file: a file of a package is opened with a
    // system call less, and its folder is not opened at all. Anything that could
    // pass with another try is left to the way below, which tells why.
    QList<QByteArray> lComponents;
    if (!splitPath(sRelative, lComponents)) {
        errno = EINVAL;
        return -1;
    }
    if (!s_bWalkAlways && s_nOpenat2 == 1) {
        const int nDescriptor = openBeneath(m_nDescriptor, lComponents.join('/'), nFlags | O_NOFOLLOW | O_CLOEXEC, nMode);
        if (nDescriptor >= 0 || (errno != EPERM && errno != EAGAIN && errno != EINTR))
            return nDescriptor;
    }
    QByteArray aName;
    const TDescriptor oParent(openParent(std::move(lComponents), aName));
    if (oParent.get() < 0)
        return -1;
    int nDescriptor;
    do
        nDescriptor = ::openat(oParent.get(), aName.constData(), nFlags | O_NOFOLLOW | O_CLOEXEC, mode_t(nMode));
    while (nDescriptor < 0 && errno == EINTR);
    return nDescriptor;
}

bool TConfinedFolder::prefetch(const QString& sRelative, TFileSize nSize) const
{
    QByteArray aName;
    const TDescriptor oParent(openParent(sRelative, aName));
    if (oParent.get() < 0)
        return false;
    // Not blocking: a pipe put at the file's name has no writer to wait for.
    const TDescriptor oFile(::openat(oParent.get(), aName.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat oStatus {};
    if (oFile.get() < 0 || ::fstat(oFile.get(), &oStatus) != 0 || !S_ISREG(oStatus.st_mode))
        return false;
    // A read that would have to wait for the disk fails at once instead.
    char nByte;
    struct iovec oVector {&nByte, 1};
    if (::preadv2(oFile.get(), &oVector, 1, 0, RWF_NOWAIT) >= 0)
        return true;
    ::posix_fadvise(oFile.get(), 0, off_t(nSize), POSIX_FADV_WILLNEED);
    return false;
}

TConfinedFolder::TStatus TConfinedFolder::status(const QString& sRelative) const
{
    TStatus oResult;
    QByteArray aName;
    const TDescriptor oParent(openParent(sRelative, aName));
    struct stat oStatus {};
    if (oParent.get() < 0) {
        // A link on the way stands, in effect, where the path leads.
        if (errno == ELOOP || errno == ENOTDIR || errno == EXDEV)
            oResult.m_eEntry = EEntry::Link;
        return oResult;
    }
    if (::fstatat(oParent.get(), aName.constData(), &oStatus, AT_SYMLINK_NOFOLLOW) != 0)
        return oResult;
    oResult.m_eEntry = S_ISREG(oStatus.st_mode)   ? EEntry::File
                       : S_ISDIR(oStatus.st_mode) ? EEntry::Folder
                       : S_ISLNK(oStatus.st_mode) ? EEntry::Link
                                                  : EEntry::Other;
    oResult.m_nSize = S_ISREG(oStatus.st_mode) ? TFileSize(oStatus.st_size) : 0;
    oResult.m_bExecutable = (oStatus.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == (S_IXUSR | S_IXGRP | S_IXOTH);
    oResult.m_bOwnerExecutable = (oStatus.st_mode & S_IXUSR) != 0;
    return oResult;
}

QStringList TConfinedFolder::entries(const QString& sRelative) const
{
    QStringList lEntries;
    if (fileOperationFault(EFileOperation::Open, filePath(sRelative)) != 0)
        return lEntries;
    QByteArray aName;
    const TDescriptor oParent(openParent(sRelative, aName));
    if (oParent.get() < 0)
        return lEntries;
    const TDescriptor oFolder(::openat(oParent.get(), aName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    QList<QByteArray> lNames;
    if (oFolder.get() >= 0 && listNames(oFolder.get(), lNames)) {
        for (const QByteArray& aEntry : qAsConst(lNames))
            lEntries << QFile::decodeName(aEntry);
    }
    return lEntries;
}

void TConfinedFolder::createFolders(const QString& sRelative) const
{
    QList<QByteArray> lComponents;
    if (!splitPath(sRelative, lComponents))
        throw ioError(filePath(sRelative), systemError(EINVAL));
    // Mostly the folders exist already: one resolution of the whole way (plain
    // folders only, as the walk below checks them) instead of three calls a folder.
    if (!s_bWalkAlways && s_nOpenat2 == 1) {
        const TDescriptor oExisting(openBeneath(m_nDescriptor, lComponents.join('/')));
        if (oExisting.get() >= 0)
            return;
    }
    int nCurrent = ::fcntl(m_nDescriptor, F_DUPFD_CLOEXEC, 0);
    QString sDone;
    for (const QByteArray& aName : lComponents) {
        if (nCurrent < 0)
            break;
        const TDescriptor oParent(nCurrent);
        sDone += (sDone.isEmpty() ? QString() : QStringLiteral("/")) + QFile::decodeName(aName);
        nCurrent = openSubfolder(oParent.get(), aName);
        if (nCurrent >= 0 || errno != ENOENT)
            continue;
        if (const int nFault = fileOperationFault(EFileOperation::CreateFolder, filePath(sDone))) {
            errno = nFault;
            continue;
        }
        if (::mkdirat(oParent.get(), aName.constData(), 0777) == 0 || errno == EEXIST)
            nCurrent = openSubfolder(oParent.get(), aName);
    }
    if (nCurrent < 0)
        throw ioError(filePath(sDone), QStringLiteral("couldn't create the folder: %1").arg(systemError(errno)));
    ::close(nCurrent);
}

int TConfinedFolder::twoNames(const QString& sFrom, const QString& sTo,
                              const std::function<int(int, const char*, int, const char*)>& fnStep) const
{
    QByteArray aFrom, aTo;
    const TDescriptor oFrom(openParent(sFrom, aFrom));
    const TDescriptor oTo(oFrom.get() < 0 ? -1 : openParent(sTo, aTo));
    if (oTo.get() < 0 || fnStep(oFrom.get(), aFrom.constData(), oTo.get(), aTo.constData()) != 0)
        return errno;
    return 0;
}

void TConfinedFolder::rename(const QString& sFrom, const QString& sTo) const
{
    int nError = fileOperationFault(EFileOperation::Rename, filePath(sFrom));
    if (nError == 0)
        nError = twoNames(sFrom, sTo, ::renameat);
    if (nError != 0)
        throw ioError(filePath(sFrom), QStringLiteral("couldn't rename it to %1: %2").arg(sTo, systemError(nError)));
}

void TConfinedFolder::link(const QString& sFrom, const QString& sTo) const
{
    int nError = fileOperationFault(EFileOperation::Rename, filePath(sTo));
    if (nError == 0)
        nError = twoNames(sFrom, sTo, [](int nFrom, const char* pFrom, int nTo, const char* pTo) {
            return ::linkat(nFrom, pFrom, nTo, pTo, 0);
        });
    if (nError != 0)
        throw ioError(filePath(sTo), QStringLiteral("couldn't link it to %1: %2").arg(sFrom, systemError(nError)));
}

bool TConfinedFolder::removeFile(const QString& sRelative) const
{
    int nError = fileOperationFault(EFileOperation::Remove, filePath(sRelative));
    if (nError == 0) {
        QByteArray aName;
        const TDescriptor oParent(openParent(sRelative, aName));
        if (oParent.get() >= 0 && ::unlinkat(oParent.get(), aName.constData(), 0) == 0)
            return true;
        nError = errno;
    }
    if (nError == ENOENT)
        return false;
    throw ioError(filePath(sRelative), QStringLiteral("couldn't delete it: %1").arg(systemError(nError)));
}

void TConfinedFolder::removePath(const QString& sRelative) const
{
    const TStatus oStatus = status(sRelative);
    if (oStatus.m_eEntry == EEntry::Missing)
        return;
    if (oStatus.m_eEntry != EEntry::Folder) {
        removeFile(sRelative);
        return;
    }
    QByteArray aName;
    const TDescriptor oParent(openParent(sRelative, aName));
    if (oParent.get() < 0)
        throw ioError(filePath(sRelative), QStringLiteral("couldn't delete it: %1").arg(systemError(errno)));
    removeTreeAt(oParent.get(), aName, sRelative);
}

void TConfinedFolder::removeTreeAt(int nParent, const QByteArray& aName, const QString& sRelative) const
{
    const auto fail = [&](const QString& sWhere, int nError) {
        throw ioError(filePath(sWhere), QStringLiteral("couldn't delete it: %1").arg(systemError(nError)));
    };
    const int nFolder = ::openat(nParent, aName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (nFolder < 0)
        fail(sRelative, errno);
    const TDescriptor oFolder(nFolder);
    QList<QByteArray> lNames;
    if (!listNames(nFolder, lNames))
        fail(sRelative, errno);
    for (const QByteArray& aEntry : qAsConst(lNames)) {
        struct stat oStatus {};
        const bool bFolder = ::fstatat(nFolder, aEntry.constData(), &oStatus, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(oStatus.st_mode);
        const QString sEntry = sRelative + QLatin1Char('/') + QFile::decodeName(aEntry);
        if (bFolder) {
            removeTreeAt(nFolder, aEntry, sEntry);
            continue;
        }
        const int nFault = fileOperationFault(EFileOperation::Remove, filePath(sEntry));
        if (nFault != 0 || (::unlinkat(nFolder, aEntry.constData(), 0) != 0 && errno != ENOENT))
            fail(sEntry, nFault != 0 ? nFault : errno);
    }
    const int nFault = fileOperationFault(EFileOperation::Remove, filePath(sRelative));
    if (nFault != 0 || ::unlinkat(nParent, aName.constData(), AT_REMOVEDIR) != 0)
        fail(sRelative, nFault != 0 ? nFault : errno);
}

void TConfinedFolder::syncFileSystem() const
{
    int nError = fileOperationFault(EFileOperation::Sync, m_sPath);
    if (nError == 0 && ::syncfs(m_nDescriptor) != 0)
        nError = errno;
    if (nError != 0)
        throw ioError(m_sPath, QStringLiteral("couldn't flush to disk: %1").arg(systemError(nError)));
}

TFileSize TConfinedFolder::availableSpace() const
{
    struct statvfs oStatus {};
    if (::fstatvfs(m_nDescriptor, &oStatus) != 0)
        throw ioError(m_sPath, QStringLiteral("couldn't learn the free space: %1").arg(systemError(errno)));
    return TFileSize(oStatus.f_bavail) * TFileSize(oStatus.f_frsize);
}

} // namespace shared
