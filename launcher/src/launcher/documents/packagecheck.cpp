#include "packagecheck.h"

#include "launchersettings.h"
#include "packageconfigurationreader.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

#include <set>

namespace velmar::launcher {

namespace {

// What the file system takes (PATH_MAX counts the closing NUL).
constexpr int kMaximumNameBytes = 255;
constexpr int kMaximumPathBytes = 4095;
constexpr int kStagingSuffixBytes = 4;

QString quoted(const QString& sText)
{
    return QLatin1Char('"') + sText + QLatin1Char('"');
}

// A path too long to show whole: its start, enough to find it in the document.
QString quotedStart(const QString& sPath)
{
    return quoted(sPath.size() > 80 ? sPath.left(80) + QStringLiteral("...") : sPath);
}

QString lengthProblem(const QString& sPath)
{
    // In ASCII a character is a byte: no name can be longer than the whole path.
    if (sPath.size() <= kMaximumNameBytes
        && std::all_of(sPath.begin(), sPath.end(), [](QChar cChar) { return cChar.unicode() < 0x80; }))
        return QString();
    const int nPathBytes = sPath.toUtf8().size();
    if (nPathBytes > kMaximumPathBytes)
        return QStringLiteral("The package names a path of %1 bytes, %2; the file system opens paths of at most %3 bytes.")
            .arg(nPathBytes)
            .arg(quotedStart(sPath))
            .arg(kMaximumPathBytes);
    for (const QString& sName : sPath.split(QLatin1Char('/'))) {
        const int nNameBytes = sName.toUtf8().size();
        if (nNameBytes > kMaximumNameBytes)
            return QStringLiteral("The package names %1, whose name %2 is %3 bytes long; the file system takes names of at "
                                  "most %4 bytes.")
                .arg(quotedStart(sPath), quotedStart(sName))
                .arg(nNameBytes)
                .arg(kMaximumNameBytes);
    }
    return QString();
}

QString fileProblem(const TPackageConfigurationReader& oConfiguration, const TFileDescription& oFile)
{
    if (!isSafeRelativePath(oFile.localFile()))
        return QStringLiteral("The package names the unsafe path %1.").arg(quotedStart(oFile.localFile()));
    const QString sProblem = lengthProblem(oFile.localFile());
    if (!sProblem.isEmpty())
        return sProblem;
    // Made for a message only, not for each of a hundred thousand files that pass.
    const auto fnName = [&oFile] { return quoted(oFile.localFile()); };
    if (oFile.unpackedHash().isEmpty())
        return QStringLiteral("The package gives no hash for %1.").arg(fnName());
    const std::vector<TChunkDescription>& lChunks = oConfiguration.chunks();
    if (oFile.fetchedWhole()) {
        if (oFile.unpackedSize() > kMaximumDownloadSize)
            return QStringLiteral("The package describes %1 as one download larger than %2 bytes.")
                .arg(fnName())
                .arg(kMaximumDownloadSize);
    } else if (oFile.chunks().empty() && oFile.unpackedSize() > 0) {
        return QStringLiteral("The package gives no chunks and no address for %1.").arg(fnName());
    }
    quint64 nSum = 0;
    for (const qint32 nIndex : oFile.chunks()) {
        if (nIndex < 0 || size_t(nIndex) >= lChunks.size())
            return QStringLiteral("The package names chunk %1 for %2, which it does not list.").arg(nIndex).arg(fnName());
        const TChunkDescription& oChunk = lChunks[size_t(nIndex)];
        if (oChunk.unpackedHash().isEmpty() || !oChunk.hasUrl())
            return QStringLiteral("The package lists chunk %1 of %2 without hash or address.").arg(nIndex).arg(fnName());
        if (oChunk.unpackedSize() > kMaximumDownloadSize || oChunk.unpackedSize() == 0)
            return QStringLiteral("The package lists chunk %1 of %2 with the size %3.")
                .arg(nIndex)
                .arg(fnName())
                .arg(oChunk.unpackedSize());
        nSum += oChunk.unpackedSize();
    }
    if (!oFile.chunks().empty() && nSum != oFile.unpackedSize())
        return QStringLiteral("The chunks of %1 add up to %2 bytes, not to its size of %3 bytes.")
            .arg(fnName())
            .arg(nSum)
            .arg(oFile.unpackedSize());
    return QString();
}

bool isWebAddress(const QUrl& oUrl)
{
    return (oUrl.scheme() == QLatin1String("http") || oUrl.scheme() == QLatin1String("https")) && !oUrl.host().isEmpty();
}

// Whether oUrl names a regular file below the folder oBase names, links on the
// way resolved. A link as the file itself is none: the reading does not follow it.
bool isLocalFileBelow(const QUrl& oBase, const QUrl& oUrl)
{
    if (!oUrl.isLocalFile())
        return false;
    const QString sFolder = QFileInfo(oBase.toLocalFile()).canonicalFilePath();
    const QFileInfo oNamed(QDir::cleanPath(oUrl.toLocalFile()));
    const QFileInfo oFile(oNamed.canonicalFilePath());
    return !sFolder.isEmpty() && oFile.filePath().startsWith(sFolder + QLatin1Char('/')) && oFile.isFile() && !oNamed.isSymLink();
}

// The downloads that the documents would have the engine make, checked as the
// engine will make them. The engine fetches each address once and finds a
// chunk's bytes by its hash, so one address must bring one chunk, and one chunk
// have one size. Those two are found by sorting, not by tables of hundreds of
// thousands of entries.
class TDownloadCheck
{
public:
    TDownloadCheck(const TPackageConfigurationReader& oConfiguration, bool bLocalMedia)
        : m_oConfiguration(oConfiguration)
        , m_bLocalMedia(bLocalMedia)
        , m_lChecked(oConfiguration.chunks().size(), false)
        , m_nSeed(quint32(qGlobalQHashSeed()))
    {
        m_lDownloads.reserve(oConfiguration.chunks().size());
    }

    // Checks each download of the file on its own.
    QString problem(const TFileDescription& oFile)
    {
        if (oFile.fetchedWhole())
            return problem(oFile.packedForm(), oFile, -1);
        for (const qint32 nIndex : oFile.chunks()) {
            if (m_lChecked[size_t(nIndex)])
                continue;
            m_lChecked[size_t(nIndex)] = true;
            const QString sProblem = problem(m_oConfiguration.chunks()[size_t(nIndex)], oFile, nIndex);
            if (!sProblem.isEmpty())
                return sProblem;
        }
        return QString();
    }

    // Once every file was checked: the downloads against each other.
    QString sharedProblem()
    {
        std::sort(m_lDownloads.begin(), m_lDownloads.end(),
                  [](const TDownload& oLeft, const TDownload& oRight) { return oLeft.m_nKey < oRight.m_nKey; });
        for (auto itRun = m_lDownloads.begin(); itRun != m_lDownloads.end();) {
            const auto itEnd = std::find_if(itRun, m_lDownloads.end(),
                                            [&](const TDownload& oDownload) { return oDownload.m_nKey != itRun->m_nKey; });
            const QString sProblem = addressProblem(itRun, itEnd);
            if (!sProblem.isEmpty())
                return sProblem;
            itRun = itEnd;
        }
        std::sort(m_lDownloads.begin(), m_lDownloads.end(), [](const TDownload& oLeft, const TDownload& oRight) {
            return oLeft.m_pDescription->unpackedHash() < oRight.m_pDescription->unpackedHash();
        });
        for (size_t nDownload = 1; nDownload < m_lDownloads.size(); ++nDownload) {
            const TChunkDescription& oPrevious = *m_lDownloads[nDownload - 1].m_pDescription;
            const TChunkDescription& oThis = *m_lDownloads[nDownload].m_pDescription;
            if (oPrevious.unpackedHash() == oThis.unpackedHash() && oPrevious.unpackedSize() != oThis.unpackedSize())
                return QStringLiteral("The package lists the chunk %1 with the sizes %2 and %3.")
                    .arg(oThis.unpackedHash().toHex())
                    .arg(oPrevious.unpackedSize())
                    .arg(oThis.unpackedSize());
        }
        return QString();
    }

private:
    struct TDownload
    {
        // Equal for equal addresses; rarely, for different ones too.
        quint64 m_nKey;
        const TChunkDescription* m_pDescription;
    };
    using TIterator = std::vector<TDownload>::iterator;

    // nIndex is the chunk's, or -1 for the file's own packed form.
    QString problem(const TChunkDescription& oDownload, const TFileDescription& oFile, qint32 nIndex)
    {
        const auto what = [&] {
            return nIndex < 0 ? QStringLiteral("the download of %1").arg(quoted(oFile.localFile()))
                              : QStringLiteral("chunk %1 of %2").arg(nIndex).arg(quoted(oFile.localFile()));
        };
        if (oDownload.packedSize() > kMaximumPackedSize || (oDownload.packedSize() == 0 && oDownload.unpackedSize() > 0))
            return QStringLiteral("The package gives %1 the packed size %2.").arg(what()).arg(oDownload.packedSize());
        const QUrl oUrl = m_oConfiguration.url(oDownload);
        const QUrl& oBase = m_oConfiguration.baseUrl(oDownload);
        if (!m_bLocalMedia && oBase.isLocalFile() && oUrl.isLocalFile())
            return QStringLiteral("The package's documents are the copies kept on this computer, which name no address "
                                  "to fetch %1 from: try again when the server can be reached.")
                .arg(what());
        if (m_bLocalMedia && oBase.isLocalFile()) {
            if (!isLocalFileBelow(oBase, oUrl))
                return QStringLiteral("The package names %1 for %2, which is no file below the folder of its document.")
                    .arg(oUrl.toString(), what());
        } else if (!isWebAddress(oUrl)) {
            return QStringLiteral("The package names %1 for %2, which is no http or https address.").arg(oUrl.toString(), what());
        }
        const QByteArray aAddress = oUrl.toEncoded();
        m_lDownloads.push_back({quint64(qHash(aAddress, m_nSeed)) << 32 | qHash(aAddress, ~m_nSeed), &oDownload});
        return QString();
    }

    // One run of downloads of equal keys: the same address must be the same chunk.
    QString addressProblem(TIterator itBegin, TIterator itEnd) const
    {
        if (itEnd - itBegin < 2)
            return QString();
        std::vector<std::pair<QByteArray, const TChunkDescription*>> lRun;
        for (auto it = itBegin; it != itEnd; ++it)
            lRun.emplace_back(m_oConfiguration.url(*it->m_pDescription).toEncoded(), it->m_pDescription);
        std::sort(lRun.begin(), lRun.end());
        for (size_t nDownload = 1; nDownload < lRun.size(); ++nDownload) {
            if (lRun[nDownload - 1].first == lRun[nDownload].first
                && lRun[nDownload - 1].second->unpackedHash() != lRun[nDownload].second->unpackedHash())
                return QStringLiteral("The package gives the address %1 to two different chunks.")
                    .arg(QString::fromUtf8(lRun[nDownload].first));
        }
        return QString();
    }

    const TPackageConfigurationReader& m_oConfiguration;
    const bool m_bLocalMedia;
    std::vector<bool> m_lChecked;
    const quint32 m_nSeed;
    std::vector<TDownload> m_lDownloads;
};

} // namespace

bool isSafeRelativePath(const QString& sPath)
{
    if (sPath.isEmpty() || sPath.startsWith(QLatin1Char('/')) || sPath.contains(QChar(0)))
        return false;
    // Looked at in place: every file of a package passes here, some more than once.
    for (int nStart = 0; nStart <= sPath.size();) {
        int nEnd = sPath.indexOf(QLatin1Char('/'), nStart);
        if (nEnd < 0)
            nEnd = sPath.size();
        const QStringRef sComponent = sPath.midRef(nStart, nEnd - nStart);
        if (sComponent.isEmpty() || sComponent == QLatin1String(".") || sComponent == QLatin1String(".."))
            return false;
        nStart = nEnd + 1;
    }
    return true;
}

QString configurationProblem(const TPackageConfigurationReader& oConfiguration, const QStringList& lReservedNames,
                             bool bLocalMedia)
{
    if (!oConfiguration.isValid())
        return QStringLiteral("The package documents could not be read.");
    // Installing a document without a file list would delete every file.
    if (!oConfiguration.packageListsFiles())
        return QStringLiteral("The package document has no \"files\" list: the server may have sent something else in its place.");
    if (!oConfiguration.assetsListFiles())
        return QStringLiteral("The asset document has no \"files\" list: the server may have sent something else in its place.");
    if (!oConfiguration.malformedValue().isEmpty())
        return oConfiguration.malformedValue();
    TDownloadCheck oDownloads(oConfiguration, bLocalMedia);
    std::set<QString> lFolders;
    const QString* pPrevious = nullptr;
    for (const TFileDescription& oFile : oConfiguration.files()) {
        QString sProblem = fileProblem(oConfiguration, oFile);
        if (sProblem.isEmpty())
            sProblem = oDownloads.problem(oFile);
        if (!sProblem.isEmpty())
            return sProblem;
        if (isReservedPath(oFile.localFile(), lReservedNames))
            return QStringLiteral("The package names %1, which the launcher keeps for itself.").arg(quoted(oFile.localFile()));
        // The list is sorted, so a repeated path follows its first appearance.
        if (pPrevious && *pPrevious == oFile.localFile())
            return QStringLiteral("The package names %1 twice.").arg(quoted(oFile.localFile()));
        // The list is sorted: a file whose folder also holds the file before it
        // finds every folder on its way in the set already, and most files do.
        const int nLastSlash = oFile.localFile().lastIndexOf(QLatin1Char('/'));
        const bool bSameFolder = pPrevious && nLastSlash >= 0 && pPrevious->size() > nLastSlash
                                 && pPrevious->at(nLastSlash) == QLatin1Char('/')
                                 && pPrevious->leftRef(nLastSlash) == oFile.localFile().leftRef(nLastSlash);
        pPrevious = &oFile.localFile();
        if (bSameFolder)
            continue;
        for (int nSlash = oFile.localFile().indexOf(QLatin1Char('/')); nSlash >= 0;
             nSlash = oFile.localFile().indexOf(QLatin1Char('/'), nSlash + 1))
            lFolders.insert(oFile.localFile().left(nSlash));
    }
    for (const TFileDescription& oFile : oConfiguration.files()) {
        if (lFolders.count(oFile.localFile()))
            return QStringLiteral("The package names %1 both as a file and as a folder.").arg(quoted(oFile.localFile()));
    }
    return oDownloads.sharedProblem();
}

namespace {

// Whether the folder sParent (below sFolder) is reached through a link that
// leads out of sFolder, whose canonical path is sCanonicalFolder.
bool leavesFolder(const QString& sFolder, const QString& sCanonicalFolder, QString sParent)
{
    // The deepest folder on the way that exists decides: canonicalFilePath
    // resolves every link up to it.
    while (!QFileInfo::exists(sParent) && sParent.size() > sFolder.size())
        sParent = QFileInfo(sParent).path();
    const QString sCanonical = QFileInfo(sParent).canonicalFilePath();
    return !sCanonicalFolder.isEmpty() && sCanonical != sCanonicalFolder
           && !sCanonical.startsWith(sCanonicalFolder + QLatin1Char('/'));
}

QString leavingPathProblem(const QString& sRelativePath)
{
    return QStringLiteral("The path %1 leads out of the package folder through a link.").arg(quoted(sRelativePath));
}

} // namespace

QString pathProblem(const QString& sFolder, const QString& sRelativePath)
{
    const QString sParent = QFileInfo(QDir(sFolder).filePath(sRelativePath)).path();
    return leavesFolder(sFolder, QFileInfo(sFolder).canonicalFilePath(), sParent) ? leavingPathProblem(sRelativePath)
                                                                                   : QString();
}

QString partialChunksFolder()
{
    return QStringLiteral(".corvane-partial");
}

QStringList reservedFileNames(const TLauncherSettings& oSettings)
{
    return {oSettings.packageFile(), oSettings.partialPackageFile(), oSettings.assetFile(), QStringLiteral("default"),
            partialChunksFolder()};
}

bool isReservedPath(const QString& sPath, const QStringList& lReservedNames)
{
    for (const QString& sReserved : lReservedNames) {
        if (sPath.startsWith(sReserved) && (sPath.size() == sReserved.size() || sPath.at(sReserved.size()) == QLatin1Char('/')))
            return true;
    }
    return false;
}

QString installProblem(const QDir& oFolder, const TPackageConfigurationReader& oConfiguration,
                       const TLauncherSettings& oSettings, bool bLocalMedia)
{
    QString sProblem = configurationProblem(oConfiguration, reservedFileNames(oSettings), bLocalMedia);
    const QString sFolder = oFolder.absolutePath();
    const int nFolderBytes = sFolder.toUtf8().size() + 1;
    // Thousands of files share a few folders: each folder's way is resolved
    // once (a realpath is a readlink for every component).
    const QString sCanonicalFolder = sProblem.isEmpty() ? QFileInfo(sFolder).canonicalFilePath() : QString();
    QHash<QString, bool> hLeaves;
    for (size_t nFile = 0; sProblem.isEmpty() && nFile < oConfiguration.files().size(); ++nFile) {
        const QString& sFile = oConfiguration.files()[nFile].localFile();
        const int nPathBytes = nFolderBytes + sFile.toUtf8().size();
        if (nPathBytes > kMaximumPathBytes)
            return QStringLiteral("The path of %1 in %2 is %3 bytes long; the file system opens paths of at most %4 bytes.")
                .arg(quotedStart(sFile), sFolder)
                .arg(nPathBytes)
                .arg(kMaximumPathBytes);
        const QString sParent = QFileInfo(QDir(sFolder).filePath(sFile)).path();
        auto it = hLeaves.constFind(sParent);
        if (it == hLeaves.constEnd())
            it = hLeaves.insert(sParent, leavesFolder(sFolder, sCanonicalFolder, sParent));
        if (it.value())
            sProblem = leavingPathProblem(sFile);
    }
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
        // The launcher replaces its files through NAME.new and keeps NAME.old.
        const QString sName = oFile.localFile().section(QLatin1Char('/'), -1);
        const int nNameBytes = sName.toUtf8().size();
        if (nNameBytes > kMaximumNameBytes - kStagingSuffixBytes)
            return QStringLiteral("The launcher's package names %1, whose name is %2 bytes long; the launcher replaces "
                                  "its own files through copies of names at most %3 bytes longer, and the file system "
                                  "takes names of at most %4 bytes.")
                .arg(quotedStart(oFile.localFile()))
                .arg(nNameBytes)
                .arg(kStagingSuffixBytes)
                .arg(kMaximumNameBytes);
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
