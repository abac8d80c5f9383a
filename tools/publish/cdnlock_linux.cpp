#include "cdnlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kLockName[] = ".corvane-publish.lock";

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TCdnLock::~TCdnLock()
{
    release();
}

bool TCdnLock::acquire(const QString& sFolder)
{
    release();
    const QString sNative = QDir::toNativeSeparators(sFolder);
    QStringList lMissing;
    for (QString sLevel = QDir::cleanPath(QFileInfo(sFolder).absoluteFilePath()); !QFileInfo::exists(sLevel);
         sLevel = QFileInfo(sLevel).path())
        lMissing.prepend(sLevel);
    for (const QString& sLevel : qAsConst(lMissing)) {
        if (!QDir().mkdir(sLevel)) {
            m_sError = QStringLiteral("Cannot create the folder '%1'.").arg(QDir::toNativeSeparators(sLevel));
            removeCreatedFolders();
            return false;
        }
        m_lCreatedFolders.prepend(sLevel);
    }
    if (!QFileInfo(sFolder).isDir()) {
        m_sError = QStringLiteral("'%1' is not a folder.").arg(sNative);
        return false;
    }
    m_sLockPath = QDir(sFolder).filePath(QLatin1String(kLockName));
    const QByteArray aPath = QFile::encodeName(m_sLockPath);
    for (;;) {
        m_nDescriptor = ::open(aPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_nDescriptor < 0) {
            m_sError = QStringLiteral("Cannot create the lock file '%1': %2").arg(QDir::toNativeSeparators(m_sLockPath), systemError());
            break;
        }
        if (::flock(m_nDescriptor, LOCK_EX | LOCK_NB) != 0) {
            m_sError = errno == EWOULDBLOCK
                           ? QStringLiteral("'%1' is in use by another corvane-publish run; try again when it has finished.")
                                 .arg(sNative)
                           : QStringLiteral("Cannot lock '%1': %2").arg(QDir::toNativeSeparators(m_sLockPath), systemError());
            break;
        }
        struct stat oHeld {};
        struct stat oNamed {};
        if (::fstat(m_nDescriptor, &oHeld) == 0 && ::stat(aPath.constData(), &oNamed) == 0
            && oHeld.st_dev == oNamed.st_dev && oHeld.st_ino == oNamed.st_ino)
            return true;
        // The run before removed the file after we opened it: lock the new one.
        ::close(m_nDescriptor);
    }
    if (m_nDescriptor >= 0)
        ::close(m_nDescriptor);
    m_nDescriptor = -1;
    m_sLockPath.clear();
    removeCreatedFolders();
    return false;
}

void TCdnLock::release()
{
    if (m_nDescriptor < 0)
        return;
    // Removed while still held, so that no other run can hold this file then.
    ::unlink(QFile::encodeName(m_sLockPath).constData());
    ::close(m_nDescriptor);
    m_nDescriptor = -1;
    m_sLockPath.clear();
    removeCreatedFolders();
}

void TCdnLock::removeCreatedFolders()
{
    // Deepest first; a folder that holds anything stays.
    for (const QString& sLevel : qAsConst(m_lCreatedFolders))
        QDir().rmdir(sLevel);
    m_lCreatedFolders.clear();
}
