#include "readonlymemoryblob.h"

#include "ioerror.h"
#include "packeddata.h"

#include <QFile>

namespace shared {

TReadOnlyMemoryBlob::TReadOnlyMemoryBlob(const QString& sFilePath) : m_sFilePath(sFilePath)
{
    if (!QFile::exists(m_sFilePath))
        throw ioError(m_sFilePath, QStringLiteral("File does not exist"));
}

TReadOnlyMemoryBlob::~TReadOnlyMemoryBlob() = default;

QByteArray TReadOnlyMemoryBlob::data()
{
    if (!m_aContents.isEmpty())
        return m_aContents;
    QFile oFile(m_sFilePath);
    if (!oFile.open(QIODevice::ReadOnly))
        throw ioError(m_sFilePath, QStringLiteral("Could not open file."));
    QByteArray aBytes = oFile.readAll();
    throwOnDeviceError(oFile);
    return aBytes;
}

QByteArray TLZMACompressedReadOnlyMemoryBlob::data()
{
    return unpackLenient(TReadOnlyMemoryBlob::data());
}

} // namespace shared
