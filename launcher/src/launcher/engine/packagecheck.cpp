#include "packagecheck.h"

#include "launcher/documents/launchersettings.h"
#include "launcher/documents/packageconfigurationreader.h"

#include <QDir>
#include <QFileInfo>

#include <set>

namespace velmar::launcher {

namespace {

QString quoted(const QString& sText)
{
    return QLatin1Char('"') + sText + QLatin1Char('"');
}

QString fileProblem(const TPackageConfigurationReader& oConfiguration, const TFileDescription& oFile)
{
    const QString sName = quoted(oFile.localFile());
    if (!isSafeRelativePath(oFile.localFile()))
        return QStringLiteral("The package names the unsafe path %1.").arg(sName);
    if (oFile.unpackedHash().isEmpty())
        return QStringLiteral("The package gives no hash for %1.").arg(sName);
    const std::vector<TChunkDescription>& lChunks = oConfiguration.chunks();
    if (oFile.chunks().size() < 2 && oFile.packedForm().hasUrl()) {
        if (oFile.unpackedSize() > kMaximumDownloadSize)
            return QStringLiteral("The package describes %1 as one download larger than %2 bytes.")
                .arg(sName)
                .arg(kMaximumDownloadSize);
    } else if (oFile.chunks().empty() && oFile.unpackedSize() > 0) {
        return QStringLiteral("The package gives no chunks and no address for %1.").arg(sName);
    }
    quint64 nSum = 0;
    for (const qint32 nIndex : oFile.chunks()) {
        if (nIndex < 0 || size_t(nIndex) >= lChunks.size())
            return QStringLiteral("The package names chunk %1 for %2, which it does not list.").arg(nIndex).arg(sName);
        const TChunkDescription& oChunk = lChunks[size_t(nIndex)];
        if (oChunk.unpackedHash().isEmpty() || !oChunk.hasUrl())
            return QStringLiteral("The package lists chunk %1 of %2 without hash or address.").arg(nIndex).arg(sName);
        if (oChunk.unpackedSize() > kMaximumDownloadSize || oChunk.unpackedSize() == 0)
            return QStringLiteral("The package lists chunk %1 of %2 with the size %3.")
                .arg(nIndex)
                .arg(sName)
                .arg(oChunk.unpackedSize());
        nSum += oChunk.unpackedSize();
    }
    if (!oFile.chunks().empty() && nSum != oFile.unpackedSize())
        return QStringLiteral("The chunks of %1 add up to %2 bytes, not to its size of %3 bytes.")
            .arg(sName)
            .arg(nSum)
            .arg(oFile.unpackedSize());
    return QString();
}

} // namespace

bool isSafeRelativePath(const QString& sPath)
{
    if (sPath.isEmpty() || sPath.startsWith(QLatin1Char('/')) || sPath.contains(QChar(0)))
        return false;
    const QStringList lComponents = sPath.split(QLatin1Char('/'));
    for (const QString& sComponent : lComponents) {
        if (sComponent.isEmpty() || sComponent == QLatin1String(".") || sComponent == QLatin1String(".."))
            return false;
    }
    return true;
}

QString configurationProblem(const TPackageConfigurationReader& oConfiguration, const QStringList& lReservedNames)
{
    if (!oConfiguration.isValid())
        return QStringLiteral("The package documents could not be read.");
    std::set<QString> lFolders;
    const QString* pPrevious = nullptr;
    for (const TFileDescription& oFile : oConfiguration.files()) {
        const QString sProblem = fileProblem(oConfiguration, oFile);
        if (!sProblem.isEmpty())
            return sProblem;
        if (lReservedNames.contains(oFile.localFile()))
            return QStringLiteral("The package names %1, which the launcher keeps for itself.").arg(quoted(oFile.localFile()));
        // The list is sorted, so a repeated path follows its first appearance.
        if (pPrevious && *pPrevious == oFile.localFile())
            return QStringLiteral("The package names %1 twice.").arg(quoted(oFile.localFile()));
        pPrevious = &oFile.localFile();
        for (int nSlash = oFile.localFile().indexOf(QLatin1Char('/')); nSlash >= 0;
             nSlash = oFile.localFile().indexOf(QLatin1Char('/'), nSlash + 1))
            lFolders.insert(oFile.localFile().left(nSlash));
    }
    for (const TFileDescription& oFile : oConfiguration.files()) {
        if (lFolders.count(oFile.localFile()))
            return QStringLiteral("The package names %1 both as a file and as a folder.").arg(quoted(oFile.localFile()));
    }
    return QString();
}

QString pathProblem(const QString& sFolder, const QString& sRelativePath)
{
    const QString sCanonicalFolder = QFileInfo(sFolder).canonicalFilePath();
    QString sParent = QFileInfo(QDir(sFolder).filePath(sRelativePath)).path();
    // The deepest folder on the way that exists decides: canonicalFilePath
    // resolves every link up to it.
    while (!QFileInfo::exists(sParent) && sParent.size() > sFolder.size())
        sParent = QFileInfo(sParent).path();
    const QString sCanonical = QFileInfo(sParent).canonicalFilePath();
    if (sCanonicalFolder.isEmpty() || sCanonical == sCanonicalFolder
        || sCanonical.startsWith(sCanonicalFolder + QLatin1Char('/')))
        return QString();
    return QStringLiteral("The path %1 leads out of the package folder through a link.").arg(quoted(sRelativePath));
}

QStringList reservedFileNames(const TLauncherSettings& oSettings)
{
    return {oSettings.packageFile(), oSettings.partialPackageFile(), oSettings.assetFile(), QStringLiteral("default")};
}

QString installProblem(const QDir& oFolder, const TPackageConfigurationReader& oConfiguration,
                       const TLauncherSettings& oSettings)
{
    QString sProblem = configurationProblem(oConfiguration, reservedFileNames(oSettings));
    for (size_t nFile = 0; sProblem.isEmpty() && nFile < oConfiguration.files().size(); ++nFile)
        sProblem = pathProblem(oFolder.absolutePath(), oConfiguration.files()[nFile].localFile());
    return sProblem;
}

bool isLauncherOwnData(const QString& sRelativePath, const QStringList& lOwnData)
{
    const QString sPath = QDir::cleanPath(sRelativePath);
    for (const QString& sOwn : lOwnData) {
        if (sPath == sOwn || sPath.startsWith(sOwn + QLatin1Char('/')))
            return true;
    }
    return false;
}

QString launcherOwnDataProblem(const TPackageConfigurationReader& oConfiguration, const QStringList& lOwnData)
{
    for (const TFileDescription& oFile : oConfiguration.files()) {
        if (isLauncherOwnData(oFile.localFile(), lOwnData))
            return QStringLiteral("The launcher's package may not replace %1: it holds the launcher's own data.")
                .arg(quoted(oFile.localFile()));
    }
    return QString();
}

QString folderNameProblem(const QString& sDirectoryName)
{
    if (sDirectoryName.isEmpty() || sDirectoryName == QLatin1String(".") || sDirectoryName == QLatin1String("..")
        || sDirectoryName.contains(QLatin1Char('/')) || sDirectoryName.contains(QLatin1Char('\\'))
        || sDirectoryName.contains(QChar(0)))
        return QStringLiteral("The package's folder name %1 cannot be used.").arg(quoted(sDirectoryName));
    return QString();
}

} // namespace velmar::launcher
