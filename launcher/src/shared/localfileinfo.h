#pragma once

#include <QString>
#include <QtGlobal>

namespace shared {

// One file found in a folder listing: where it is and how large it was when listed.
class TLocalFileInfo
{
public:
    TLocalFileInfo(QString sAbsoluteFilePath, qint64 nFileSize)
        : m_sAbsoluteFilePath(std::move(sAbsoluteFilePath)), m_nFileSize(nFileSize) {}
    virtual ~TLocalFileInfo() = default;
    TLocalFileInfo(const TLocalFileInfo&) = default;
    TLocalFileInfo& operator=(const TLocalFileInfo&) = default;

    const QString& absoluteFilePath() const { return m_sAbsoluteFilePath; }
    qint64 fileSize() const { return m_nFileSize; }

private:
    QString m_sAbsoluteFilePath;
    qint64 m_nFileSize;
};

} // namespace shared
