#include "privatefile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void writeNewPrivateFile(const QString& sPath, const QByteArray& aData)
{
    const QByteArray aPath = QFile::encodeName(sPath);
    const auto fail = [&sPath](const char* pWhat, int nError) {
        throw std::runtime_error(
            QStringLiteral("Could not %1 '%2': %3").arg(QLatin1String(pWhat), sPath, QString::fromLocal8Bit(std::strerror(nError)))
                .toStdString());
    };
    const int nFile = ::open(aPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (nFile < 0 && errno == EEXIST)
        throw std::runtime_error(QStringLiteral("'%1' exists already; it is not overwritten").arg(sPath).toStdString());
    if (nFile < 0)
        fail("create", errno);
    const auto giveUp = [&](const char* pWhat) {
        const int nError = errno;
        ::close(nFile);
        ::unlink(aPath.constData());
        fail(pWhat, nError);
    };
    qint64 nWritten = 0;
    while (nWritten < aData.size()) {
        const ssize_t nResult = ::write(nFile, aData.constData() + nWritten, size_t(aData.size() - nWritten));
        if (nResult < 0 && errno == EINTR)
            continue;
        if (nResult <= 0)
            giveUp("write");
        nWritten += nResult;
    }
    if (::fsync(nFile) != 0)
        giveUp("flush");
    if (::close(nFile) != 0) {
        const int nError = errno;
        ::unlink(aPath.constData());
        fail("write", nError);
    }
}
