#include "checkedfileio.h"

#include "ioerror.h"
#include "sha256.h"

#include <QFile>
#include <QFileDevice>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace shared {

namespace {

constexpr qint64 kPieceSize = qint64(1) << 20;

void seekTo(QFileDevice& oFile, TFileSize nOffset)
{
    if (nOffset > TFileSize(std::numeric_limits<qint64>::max()) || !oFile.seek(qint64(nOffset)))
        throw ioError(oFile.fileName(), QStringLiteral("couldn't seek to offset %1").arg(nOffset));
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QByteArray readExactlyAt(QFileDevice& oFile, TFileSize nOffset, TFileSize nSize)
{
    if (nSize > TFileSize(std::numeric_limits<int>::max() - 64))
        throw ioError(oFile.fileName(), QStringLiteral("couldn't read %1 bytes at once").arg(nSize));
    seekTo(oFile, nOffset);
    QByteArray aData(static_cast<int>(nSize), Qt::Uninitialized);
    qint64 nDone = 0;
    while (nDone < qint64(nSize)) {
        const qint64 nRead = oFile.read(aData.data() + nDone, qint64(nSize) - nDone);
        if (nRead <= 0)
            throw ioError(oFile.fileName(), QStringLiteral("couldn't read %1 bytes at offset %2").arg(nSize).arg(nOffset));
        nDone += nRead;
    }
    return aData;
}

void writeAllAt(QFileDevice& oFile, TFileSize nOffset, const QByteArray& aData)
{
    seekTo(oFile, nOffset);
    if (oFile.write(aData) != aData.size() || !oFile.flush())
        throw ioError(oFile.fileName(), QStringLiteral("couldn't write %1 bytes at offset %2: %3")
                                            .arg(aData.size())
                                            .arg(nOffset)
                                            .arg(oFile.errorString()));
}

void resizeFile(QFileDevice& oFile, TFileSize nSize)
{
    if (nSize > TFileSize(std::numeric_limits<qint64>::max()) || !oFile.resize(qint64(nSize)))
        throw ioError(oFile.fileName(), QStringLiteral("couldn't resize to %1 bytes: %2").arg(nSize).arg(oFile.errorString()));
}

void hashRange(QFileDevice& oFile, TFileSize nFrom, TFileSize nTo, TSha256& oHash)
{
    if (nFrom >= nTo)
        return;
    seekTo(oFile, nFrom);
    QByteArray aBuffer(int(qMin<TFileSize>(kPieceSize, nTo - nFrom)), Qt::Uninitialized);
    for (TFileSize nAt = nFrom; nAt < nTo;) {
        const qint64 nWanted = qint64(qMin<TFileSize>(TFileSize(aBuffer.size()), nTo - nAt));
        const qint64 nRead = oFile.read(aBuffer.data(), nWanted);
        if (nRead <= 0)
            throw ioError(oFile.fileName(), QStringLiteral("couldn't read back bytes at offset %1").arg(nAt));
        oHash.addData(aBuffer.constData(), size_t(nRead));
        nAt += TFileSize(nRead);
    }
}

QByteArray hashFile(const QString& sPath, const std::function<void()>& fnBeforeEachPiece)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly))
        throw ioError(sPath, oFile.errorString());
    TSha256 oHash;
    QByteArray aBuffer(int(kPieceSize), Qt::Uninitialized);
    for (;;) {
        if (fnBeforeEachPiece)
            fnBeforeEachPiece();
        const qint64 nRead = oFile.read(aBuffer.data(), aBuffer.size());
        if (nRead < 0)
            throw ioError(sPath, oFile.errorString());
        if (nRead == 0)
            break;
        oHash.addData(aBuffer.constData(), size_t(nRead));
    }
    return oHash.result();
}

void syncFile(QFileDevice& oFile)
{
    if (!oFile.flush() || ::fsync(oFile.handle()) != 0)
        throw ioError(oFile.fileName(), QStringLiteral("couldn't flush to disk: %1").arg(systemError()));
}

void syncFileSystem(const QString& sPath)
{
    const int nDescriptor = ::open(QFile::encodeName(sPath).constData(), O_RDONLY | O_CLOEXEC);
    const bool bSynced = nDescriptor >= 0 && ::syncfs(nDescriptor) == 0;
    const QString sError = systemError();
    if (nDescriptor >= 0)
        ::close(nDescriptor);
    if (!bSynced)
        throw ioError(sPath, QStringLiteral("couldn't flush to disk: %1").arg(sError));
}

} // namespace shared
