#include "filesystemhelper.h"

#include "imagecodec.h"
#include "ioerror.h"

#include <QDebug>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonParseError>
#include <QSaveFile>
#include <QSettings>
#include <QTextStream>

namespace shared {

namespace {

const QString kLzmaSuffix = QStringLiteral(".lzma");

QByteArray readOpenFile(QFile& oFile)
{
    QByteArray aBytes = oFile.readAll();
    throwOnDeviceError(oFile);
    oFile.close();
    throwOnDeviceError(oFile);
    return aBytes;
}

bool isInside(const QString& sBase, const QString& sCandidate)
{
    // cleanPath keeps ".." that it cannot resolve (above the root): never inside.
    if (sCandidate.split(QLatin1Char('/')).contains(QLatin1String("..")))
        return false;
    if (sCandidate == sBase)
        return true;
    const QString sPrefix = sBase.endsWith(QLatin1Char('/')) ? sBase : sBase + QLatin1Char('/');
    return sCandidate.startsWith(sPrefix);
}

} // namespace

TFileSystemHelper::~TFileSystemHelper() = default;

std::shared_ptr<TReadOnlyMemoryBlob> TFileSystemHelper::openReadOnlyMemoryBlob(const QString& sPath)
{
    if (fileExists(sPath)) {
        if (sPath.endsWith(kLzmaSuffix, Qt::CaseSensitive))
            return std::make_shared<TLZMACompressedReadOnlyMemoryBlob>(sPath);
        return std::make_shared<TReadOnlyMemoryBlob>(sPath);
    }
    if (fileExists(sPath + kLzmaSuffix))
        return std::make_shared<TLZMACompressedReadOnlyMemoryBlob>(sPath + kLzmaSuffix);
    return std::make_shared<TReadOnlyMemoryBlob>(sPath);
}

QByteArray TFileSystemHelper::readFile(const QString& sPath)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly))
        throw ioError(oFile.fileName(), oFile.errorString());
    return readOpenFile(oFile);
}

QByteArray TFileSystemHelper::readFileIfExists(const QString& sPath)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly))
        return QByteArray();
    return readOpenFile(oFile);
}

void TFileSystemHelper::writeFile(const QString& sPath, const QByteArray& aData)
{
    // Written beside the target and renamed over it: a crash or a full disk leaves
    // either the old file or the new one, never a torn one.
    QSaveFile oFile(sPath);
    if (!oFile.open(QIODevice::WriteOnly))
        throw ioError(sPath, QStringLiteral("Could not open file."));
    const qint64 nWritten = oFile.write(aData);
    throwOnDeviceError(oFile);
    if (nWritten != aData.size())
        throw ioError(sPath, QStringLiteral("Could not write all data to disk."));
    if (!oFile.commit())
        throw ioError(sPath, oFile.errorString());
}

void TFileSystemHelper::writeTextFile(const QString& sPath, const QString& sText)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return;
    QTextStream(&oFile) << sText;
}

void TFileSystemHelper::appendTextFile(const QString& sPath, const QString& sText)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream(&oFile) << sText;
}

bool TFileSystemHelper::deleteFile(const QString& sPath)
{
    if (!QFile::remove(sPath))
        throw std::runtime_error(QStringLiteral("Failed to delete file %1").arg(sPath).toStdString());
    return true;
}

void TFileSystemHelper::removePath(const QString& sPath)
{
    const QFileInfo oInfo(sPath);
    if (oInfo.isDir() && !oInfo.isSymLink())
        QDir(sPath).removeRecursively();
    else if (oInfo.exists() || oInfo.isSymLink())
        deleteFile(sPath);
}

void TFileSystemHelper::copyFile(const QString& sSource, const QString& sDestination)
{
    QFile::copy(sSource, sDestination);
}

QDir TFileSystemHelper::createFolder(const QString& sPath)
{
    QDir oFolder(sPath);
    if (oFolder.exists())
        return oFolder;
    if (!QDir().mkpath(sPath))
        throw std::runtime_error(QStringLiteral("Failed to create folder: '%1'.")
                                     .arg(QDir::toNativeSeparators(sPath))
                                     .toStdString());
    return QDir(sPath);
}

QString TFileSystemHelper::pathInsideFolder(const QDir& oFolder, const QString& sRelativePath)
{
    const QString sBase = QDir::cleanPath(oFolder.absolutePath());
    const QString sCandidate = QDir::cleanPath(joinPath({sBase, sRelativePath}));
    // A plain prefix test would let "../packages-evil" out of "packages": compare whole components.
    if (isInside(sBase, sCandidate))
        return sCandidate;

    QString sName = QFileInfo(sRelativePath).fileName();
    if (sName.isEmpty())
        sName = QFileInfo(QDir::cleanPath(sRelativePath)).fileName();
    // ".." as the last component would climb out again; such a path names the folder itself.
    if (sName == QLatin1String("..") || sName == QLatin1String("."))
        sName.clear();
    return QDir::cleanPath(joinPath({sBase, sName}));
}

void TFileSystemHelper::forEachFileInFolder(const QDir& oFolder,
                                            const std::function<void(const TLocalFileInfo&)>& fnCallback)
{
    for (const TLocalFileInfo& oInfo : listFilesInFolder(oFolder))
        fnCallback(oInfo);
}

std::vector<TLocalFileInfo> TFileSystemHelper::listFilesInFolder(const QDir& oFolder)
{
    std::vector<TLocalFileInfo> lFiles;
    QDirIterator oIterator(oFolder.absolutePath(), QDir::Files | QDir::NoDotAndDotDot);
    while (oIterator.hasNext()) {
        oIterator.next();
        const QFileInfo oInfo = oIterator.fileInfo();
        lFiles.emplace_back(oInfo.absoluteFilePath(), oInfo.size());
    }
    return lFiles;
}

bool TFileSystemHelper::fileExists(const QString& sPath)
{
    return QFileInfo::exists(sPath);
}

bool TFileSystemHelper::folderExists(const QString& sPath)
{
    return QFileInfo(sPath).isDir();
}

QString TFileSystemHelper::joinPath(const QStringList& lParts)
{
    return QDir::toNativeSeparators(lParts.join(QLatin1Char('/')));
}

QDir TFileSystemHelper::openOrCreateSubfolder(const QString& sFolder, const QString& sName)
{
    QDir oFolder(sFolder);
    if (!oFolder.exists())
        throw std::runtime_error("Directory doesn't exist");
    if (!oFolder.exists(sName) && !oFolder.mkdir(sName))
        throw std::runtime_error("Failed to create subdirectory.");
    if (!oFolder.cd(sName))
        throw std::runtime_error("Failed to create subdirectory.");
    return oFolder;
}

std::shared_ptr<QSettings> TFileSystemHelper::openSettings(const QString& sPath)
{
    return std::make_shared<QSettings>(sPath, QSettings::IniFormat);
}

QJsonDocument TFileSystemHelper::readJsonFileAsQJsonDocument(const QString& sPath, bool& bError)
{
    const QByteArray aBytes = readFileIfExists(sPath);
    QJsonParseError oError;
    QJsonDocument oDocument = QJsonDocument::fromJson(aBytes, &oError);
    if (!aBytes.isEmpty() && oError.error != QJsonParseError::NoError) {
        qWarning() << "Json parse error in file" << sPath << ": " << oError.errorString() << "at offset"
                   << oError.offset;
        bError = true;
        return QJsonDocument();
    }
    bError = false;
    return oDocument;
}

std::shared_ptr<QImage> TFileSystemHelper::readImage(const QString& sPath, const char* pFormat)
{
    const QByteArray aBytes = readFileIfExists(sPath);
    if (aBytes.isEmpty() || !imageCodec().fnDecode)
        return nullptr;
    return imageCodec().fnDecode(aBytes, pFormat);
}

void TFileSystemHelper::writeImage(const QImage& oImage, const QString& sPath, const char* pFormat)
{
    if (!imageCodec().fnEncode)
        throw ioError(sPath, QStringLiteral("No picture codec is registered."));
    writeFile(sPath, imageCodec().fnEncode(oImage, pFormat));
}

} // namespace shared
