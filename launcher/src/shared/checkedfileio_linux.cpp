#include "checkedfileio.h"

#include "checkedfile.h"
#include "confinedfolder.h"

#include "fileoperation.h"
#include "ioerror.h"
#include "sha256.h"

#include <QFile>
#include <QFileDevice>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
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

QString systemError(int nError)
{
    return QString::fromLocal8Bit(std::strerror(nError));
}

QString readFailure(const QFileDevice& oFile, qint64 nRead)
{
    return nRead == 0 ? QStringLiteral("the file ends before") : oFile.errorString();
}

// Opens sRelative for reading; false when there is no such file, which readers
// of optional files take as empty. Any other failure throws.
bool openIfExists(TCheckedFile& oFile, const TConfinedFolder& oFolder, const QString& sRelative)
{
    if (oFile.open(oFolder, sRelative, QIODevice::ReadOnly))
        return true;
    if (oFolder.status(sRelative).m_eEntry == TConfinedFolder::EEntry::Missing)
        return false;
    throw ioError(oFolder.filePath(sRelative), QStringLiteral("couldn't open it: %1").arg(oFile.errorString()));
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
            throw ioError(oFile.fileName(), QStringLiteral("couldn't read %1 bytes at offset %2: %3")
                                                .arg(nSize)
                                                .arg(nOffset)
                                                .arg(readFailure(oFile, nRead)));
        nDone += nRead;
    }
    return aData;
}

void writeAllAt(QFileDevice& oFile, TFileSize nOffset, const QByteArray& aData)
{
    // An engine file takes the bytes at their place in one positional write:
    // no seek before it and nothing to flush after it (it is unbuffered).
    if (auto* pChecked = dynamic_cast<TCheckedFile*>(&oFile)) {
        if (nOffset > TFileSize(std::numeric_limits<qint64>::max()))
            throw ioError(oFile.fileName(), QStringLiteral("couldn't seek to offset %1").arg(nOffset));
        if (const int nError = pChecked->writeAt(qint64(nOffset), aData.constData(), aData.size()))
            throw ioError(oFile.fileName(), QStringLiteral("couldn't write %1 bytes at offset %2: %3")
                                                .arg(aData.size())
                                                .arg(nOffset)
                                                .arg(systemError(nError)));
        return;
    }
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
            throw ioError(oFile.fileName(),
                          QStringLiteral("couldn't read back bytes at offset %1: %2").arg(nAt).arg(readFailure(oFile, nRead)));
        oHash.addData(aBuffer.constData(), size_t(nRead));
        nAt += TFileSize(nRead);
    }
}

QByteArray hashFile(const TConfinedFolder& oFolder, const QString& sRelative, const std::function<void()>& fnBeforeEachPiece)
{
    TCheckedFile oFile;
    const QString sPath = oFolder.filePath(sRelative);
    if (!oFile.open(oFolder, sRelative, QIODevice::ReadOnly))
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
    int nError = fileOperationFault(EFileOperation::Sync, oFile.fileName());
    if (nError == 0 && !oFile.flush())
        throw ioError(oFile.fileName(), QStringLiteral("couldn't flush to disk: %1").arg(oFile.errorString()));
    if (nError == 0 && ::fsync(oFile.handle()) != 0)
        nError = errno;
    if (nError != 0)
        throw ioError(oFile.fileName(), QStringLiteral("couldn't flush to disk: %1").arg(systemError(nError)));
}

void startWriteback(QFileDevice& oFile)
{
    if (oFile.flush())
        ::sync_file_range(oFile.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
}

void syncFileSystem(const QString& sPath)
{
    int nError = fileOperationFault(EFileOperation::Sync, sPath);
    const int nDescriptor = nError != 0 ? -1 : ::open(QFile::encodeName(sPath).constData(), O_RDONLY | O_CLOEXEC);
    if (nError == 0 && (nDescriptor < 0 || ::syncfs(nDescriptor) != 0))
        nError = errno;
    if (nDescriptor >= 0)
        ::close(nDescriptor);
    if (nError != 0)
        throw ioError(sPath, QStringLiteral("couldn't flush to disk: %1").arg(systemError(nError)));
}

QByteArray readFileIfExists(const TConfinedFolder& oFolder, const QString& sRelative)
{
    TCheckedFile oFile;
    if (!openIfExists(oFile, oFolder, sRelative))
        return QByteArray();
    const qint64 nSize = oFile.size();
    if (nSize < 0 || nSize > std::numeric_limits<int>::max() - 64)
        throw ioError(oFile.fileName(), QStringLiteral("couldn't read %1 bytes at once").arg(nSize));
    return readExactlyAt(oFile, 0, TFileSize(nSize));
}

bool fileHolds(const TConfinedFolder& oFolder, const QString& sRelative, const QByteArray& aData)
{
    TCheckedFile oFile;
    if (!openIfExists(oFile, oFolder, sRelative))
        return aData.isEmpty();
    if (oFile.size() != qint64(aData.size()))
        return false;
    constexpr int kPiece = 1 << 20;
    QByteArray aPiece(kPiece, Qt::Uninitialized);
    for (int nOffset = 0; nOffset < aData.size(); nOffset += kPiece) {
        const int nSize = std::min(kPiece, aData.size() - nOffset);
        if (const int nError = oFile.readAt(nOffset, aPiece.data(), nSize))
            throw ioError(oFile.fileName(), QStringLiteral("couldn't read it: %1").arg(systemError(nError)));
        if (std::memcmp(aPiece.constData(), aData.constData() + nOffset, size_t(nSize)) != 0)
            return false;
    }
    return true;
}

void replaceFile(const TConfinedFolder& oFolder, const QString& sRelative, const QByteArray& aData)
{
    const int nSlash = sRelative.lastIndexOf(QLatin1Char('/'));
    if (nSlash > 0)
        oFolder.createFolders(sRelative.left(nSlash));
    const QString sNew = sRelative + QLatin1String(".new");
    try {
        TCheckedFile oFile;
        if (!oFile.open(oFolder, sNew, QIODevice::ReadWrite | QIODevice::Truncate))
            throw ioError(oFile.fileName(), QStringLiteral("Could not open file: %1").arg(oFile.errorString()));
        writeAllAt(oFile, 0, aData);
        syncFile(oFile);
        oFile.close();
        oFolder.rename(sNew, sRelative);
    } catch (const std::runtime_error&) {
        try {
            oFolder.removeFile(sNew);
        } catch (const std::runtime_error&) {
            // What failed first is what the caller must hear of.
        }
        throw;
    }
}

} // namespace shared
