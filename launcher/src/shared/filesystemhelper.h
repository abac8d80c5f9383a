#pragma once

#include "localfileinfo.h"
#include "readonlymemoryblob.h"

#include <QByteArray>
#include <QDir>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QImage;
class QSettings;

namespace shared {

// All file access of the launcher goes through this service so that tests and
// tools can substitute it. It holds no state; every operation may run on any thread.
// Failures throw std::runtime_error whose text is the whole user-visible reason.
class TFileSystemHelper
{
public:
    TFileSystemHelper() = default;
    virtual ~TFileSystemHelper();
    TFileSystemHelper(const TFileSystemHelper&) = delete;
    TFileSystemHelper& operator=(const TFileSystemHelper&) = delete;

    // A blob on the path, or on the path with ".lzma" appended when only that exists;
    // a ".lzma" file (case-sensitive) is unpacked on reading.
    virtual std::shared_ptr<TReadOnlyMemoryBlob> openReadOnlyMemoryBlob(const QString& sPath);
    virtual QByteArray readFile(const QString& sPath);
    // As readFile, but a file that cannot be opened gives empty bytes.
    virtual QByteArray readFileIfExists(const QString& sPath);
    // Replaces the file as a whole: on failure the previous contents stay.
    virtual void writeFile(const QString& sPath, const QByteArray& aData);
    virtual void writeTextFile(const QString& sPath, const QString& sText);
    virtual void appendTextFile(const QString& sPath, const QString& sText);
    virtual bool deleteFile(const QString& sPath);
    // Removes whatever stands at the path: a folder with its contents, a file, or a
    // link itself (never what it leads to). Nothing there is no error; a file that
    // cannot be deleted throws as deleteFile does.
    virtual void removePath(const QString& sPath);
    // Never overwrites an existing destination.
    virtual void copyFile(const QString& sSource, const QString& sDestination);
    virtual QDir createFolder(const QString& sPath);
    // The relative path resolved inside the folder. A path that would leave it
    // (through "..", or by being absolute) is cut back to its last component.
    virtual QString pathInsideFolder(const QDir& oFolder, const QString& sRelativePath);
    virtual void forEachFileInFolder(const QDir& oFolder, const std::function<void(const TLocalFileInfo&)>& fnCallback);
    // Plain, visible files only; not recursive; in the file system's order.
    virtual std::vector<TLocalFileInfo> listFilesInFolder(const QDir& oFolder);
    virtual bool fileExists(const QString& sPath);
    virtual bool folderExists(const QString& sPath);
    virtual QString joinPath(const QStringList& lParts);
    virtual QDir openOrCreateSubfolder(const QString& sFolder, const QString& sName);
    virtual std::shared_ptr<QSettings> openSettings(const QString& sPath);
    // A missing or empty file gives an empty document and no error; unparsable
    // bytes give an empty document, a warning in the log and bError set.
    virtual QJsonDocument readJsonFileAsQJsonDocument(const QString& sPath, bool& bError);
    virtual std::shared_ptr<QImage> readImage(const QString& sPath, const char* pFormat);
    virtual void writeImage(const QImage& oImage, const QString& sPath, const char* pFormat);
};

} // namespace shared
