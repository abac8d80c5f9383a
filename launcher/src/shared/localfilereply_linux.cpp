#include "localfilereply.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace shared {

TLocalFileReply::TLocalFileReply(const QNetworkRequest& oRequest, QObject* pParent)
    : QNetworkReply(pParent)
{
    setRequest(oRequest);
    setUrl(oRequest.url());
    setOperation(QNetworkAccessManager::GetOperation);
    QNetworkReply::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // Without waiting for a writer (a named pipe) or a carrier (a device); the
    // status of the descriptor, not of the name, decides what it is.
    const QByteArray aPath = QFile::encodeName(oRequest.url().toLocalFile());
    const int nDescriptor = ::open(aPath.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat oStatus {};
    NetworkError eError = NoError;
    QString sReason;
    if (nDescriptor < 0) {
        eError = errno == ENOENT ? ContentNotFoundError : ContentAccessDenied;
        sReason = QString::fromLocal8Bit(std::strerror(errno));
    } else if (::fstat(nDescriptor, &oStatus) != 0 || !S_ISREG(oStatus.st_mode)) {
        ::close(nDescriptor);
        eError = ContentOperationNotPermittedError;
        sReason = QStringLiteral("it is no regular file");
    } else if (!m_oFile.open(nDescriptor, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(nDescriptor);
        eError = ContentAccessDenied;
        sReason = m_oFile.errorString();
    } else {
        setHeader(QNetworkRequest::ContentLengthHeader, qint64(oStatus.st_size));
    }
    if (eError != NoError)
        setError(eError, QStringLiteral("Error opening %1: %2").arg(QFile::decodeName(aPath), sReason));
    QMetaObject::invokeMethod(this, &TLocalFileReply::announce, Qt::QueuedConnection);
}

TLocalFileReply::~TLocalFileReply() = default;

void TLocalFileReply::announce()
{
    if (isFinished())
        return;
    if (error() != NoError) {
        emit errorOccurred(error());
    } else {
        // A receiver may abort the reply on any of these signals.
        const qint64 nSize = m_oFile.size();
        emit metaDataChanged();
        if (!isFinished())
            emit downloadProgress(nSize, nSize);
        if (!isFinished() && nSize > 0)
            emit readyRead();
        if (isFinished())
            return;
    }
    setFinished(true);
    emit finished();
}

void TLocalFileReply::abort()
{
    if (isFinished())
        return;
    m_oFile.close();
    setError(OperationCanceledError, QStringLiteral("Operation canceled"));
    emit errorOccurred(OperationCanceledError);
    setFinished(true);
    emit finished();
}

qint64 TLocalFileReply::bytesAvailable() const
{
    const qint64 nLeft = m_oFile.isOpen() ? m_oFile.size() - m_oFile.pos() : 0;
    return QNetworkReply::bytesAvailable() + qMax<qint64>(nLeft, 0);
}

qint64 TLocalFileReply::readData(char* pData, qint64 nMaximum)
{
    if (!m_oFile.isOpen())
        return -1;
    const qint64 nRead = m_oFile.read(pData, nMaximum);
    // The end of the file is the end of the answer.
    return nRead == 0 ? -1 : nRead;
}

} // namespace shared
