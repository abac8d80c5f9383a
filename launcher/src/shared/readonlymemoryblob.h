#pragma once

#include <QByteArray>
#include <QString>

namespace shared {

// A file's whole contents on demand. Every data() call reads the file again, so a
// blob never hands out stale bytes of a file that changed under it.
class TReadOnlyMemoryBlob
{
public:
    // Throws std::runtime_error "I/O error on file '<path>': File does not exist".
    explicit TReadOnlyMemoryBlob(const QString& sFilePath);
    virtual ~TReadOnlyMemoryBlob();
    TReadOnlyMemoryBlob(const TReadOnlyMemoryBlob&) = delete;
    TReadOnlyMemoryBlob& operator=(const TReadOnlyMemoryBlob&) = delete;

    virtual QByteArray data();

    const QString& filePath() const { return m_sFilePath; }

protected:
    QString m_sFilePath;
    QByteArray m_aContents;
};

// A blob whose file may hold the packed format: data() unpacks it, and hands back
// the raw bytes when they are not packed or do not unpack.
class TLZMACompressedReadOnlyMemoryBlob : public TReadOnlyMemoryBlob
{
public:
    using TReadOnlyMemoryBlob::TReadOnlyMemoryBlob;
    QByteArray data() override;
};

} // namespace shared
