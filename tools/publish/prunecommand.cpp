#include "commands.h"

#include "cdnlock.h"
#include "documentreading.h"
#include "progressreporter.h"
#include "rcloneremote.h"
#include "toolio.h"

#include "launcher/documents/packageconfigurationreader.h"

#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <optional>
#include <stdexcept>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

namespace {

QString pruneUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish prune CDNDIR|REMOTE [--keep DOCUMENT]... [--dry-run]\n"
        "Deletes the chunk files below CDNDIR/chunks that no document still needs: neither\n"
        "CDNDIR/package.json, CDNDIR/assets.json nor any kept document. Keep the documents of\n"
        "the versions that launchers may still be installing or verifying; their addresses are\n"
        "read as if the documents lay in CDNDIR, where they were served. Other files of CDNDIR\n"
        "are never touched. Holds CDNDIR against other runs of build and prune.\n"
        "A REMOTE (\"name:path\" or a connection string, as for upload) is pruned the same way\n"
        "through rclone, from the documents that lie there; nothing holds it against other runs,\n"
        "so never prune a remote while an upload to it runs.\n"
        "  --keep DOCUMENT   an older package or asset document whose chunks stay (a file, or\n"
        "                    a path on a remote); repeat for more\n"
        "  --dry-run         list what would be deleted, delete nothing\n"
        "Exit codes: 0 done, 1 failed (a document unreadable, a file not deleted), 2 wrong command line.\n");
}

// Every local file a document pair addresses, as a clean absolute path.
void addAddresses(const TPackageConfigurationReader& oReader, QSet<QString>& lPaths)
{
    const auto add = [&](const QUrl& oUrl) {
        if (oUrl.isLocalFile())
            lPaths.insert(QDir::cleanPath(oUrl.toLocalFile()));
    };
    for (const TChunkDescription& oChunk : oReader.chunks())
        add(oReader.url(oChunk));
    for (const TFileDescription& oFile : oReader.files()) {
        add(oReader.url(oFile.packedForm()));
        for (const auto& oPatch : oFile.patches())
            add(oPatch.url());
    }
}

// A kept document: a local file, or a file on a remote.
QByteArray readKept(const QString& sKept)
{
    if (!TRcloneRemote::namesRemote(sKept))
        return readWholeFile(sKept);
    const std::optional<QByteArray> aBytes = TRcloneRemote(sKept).read(QString());
    if (!aBytes)
        throw std::runtime_error(QStringLiteral("'%1' does not exist.").arg(sKept).toStdString());
    return *aBytes;
}

// The clean absolute paths, below oBase, of every chunk the documents and the
// kept documents need. Throws std::runtime_error.
QSet<QString> neededChunks(const QByteArray& aPackage, const QByteArray& aAssets, const QString& sWhere, const QUrl& oBase,
                           const QStringList& lKept)
{
    QSet<QString> lNeeded;
    addAddresses(*readPublishedDocumentBytes(aPackage, aAssets, oBase, sWhere), lNeeded);
    for (const QString& sKept : lKept) {
        const auto pReader =
            readPublishedDocumentBytes(readKept(sKept), QByteArray(), oBase, QStringLiteral("'%1'").arg(QDir::toNativeSeparators(sKept)));
        // Anything else that happens to be JSON would keep nothing, silently.
        if (pReader->chunks().empty() && pReader->files().empty())
            throw std::runtime_error(QStringLiteral("'%1' lists no chunks or files: it is no package or asset document.")
                                         .arg(QDir::toNativeSeparators(sKept))
                                         .toStdString());
        addAddresses(*pReader, lNeeded);
    }
    return lNeeded;
}

QString holdsNoPackage(const QString& sGiven)
{
    return QStringLiteral("'%1' holds no package.json; without it every chunk would go.").arg(QDir::toNativeSeparators(sGiven));
}

// What a prune deletes, relative to the folder, and what stays.
struct TPruneStock
{
    QStringList lUnneeded;
    quint64 nUnneededBytes = 0;
    int nStaying = 0;
};

TPruneStock takeStock(const QMap<QString, quint64>& hChunkFiles, const QSet<QString>& lNeeded)
{
    TPruneStock oStock;
    for (auto it = hChunkFiles.cbegin(); it != hChunkFiles.cend(); ++it) {
        if (lNeeded.contains(it.key())) {
            ++oStock.nStaying;
        } else {
            oStock.lUnneeded << it.key();
            oStock.nUnneededBytes += it.value();
        }
    }
    return oStock;
}

int printDryRun(const TPruneStock& oStock)
{
    QString sList;
    for (const QString& sPath : oStock.lUnneeded)
        sList += QStringLiteral("would delete %1\n").arg(sPath);
    printOut(sList + QStringLiteral("Would delete %1 chunk files, %2 bytes (%3); %4 chunk files stay.\n")
                         .arg(oStock.lUnneeded.size())
                         .arg(oStock.nUnneededBytes)
                         .arg(byteCountText(oStock.nUnneededBytes))
                         .arg(oStock.nStaying));
    return kExitSuccess;
}

void printDeleted(int nDeleted, quint64 nDeletedBytes, int nStaying)
{
    printOut(QStringLiteral("Deleted %1 chunk files, %2 bytes (%3); %4 chunk files stay.\n")
                 .arg(nDeleted)
                 .arg(nDeletedBytes)
                 .arg(byteCountText(nDeletedBytes))
                 .arg(nStaying));
}

int pruneRemote(const QString& sGiven, const QStringList& lKept, bool bDryRun)
{
    const TRcloneRemote oRemote(sGiven);
    // Addresses are resolved as if the remote folder lay here, then taken relative again.
    const QString sRoot = QStringLiteral("/remote");
    TPruneStock oStock;
    try {
        const std::optional<QByteArray> aPackage = oRemote.read(kPackageDocument);
        if (!aPackage)
            throw std::runtime_error(holdsNoPackage(sGiven).toStdString());
        const QByteArray aAssets = oRemote.read(kAssetDocument).value_or(QByteArray());
        const QSet<QString> lNeeded =
            neededChunks(*aPackage, aAssets, QStringLiteral("the documents of '%1'").arg(sGiven),
                         QUrl::fromLocalFile(sRoot + QLatin1Char('/')), lKept);
        QMap<QString, quint64> hChunkFiles;
        const QMap<QString, quint64> hListed = oRemote.listFiles(QStringLiteral("chunks"));
        for (auto it = hListed.cbegin(); it != hListed.cend(); ++it)
            hChunkFiles.insert(sRoot + QLatin1Char('/') + it.key(), it.value());
        oStock = takeStock(hChunkFiles, lNeeded);
        for (QString& sPath : oStock.lUnneeded)
            sPath = sPath.mid(sRoot.size() + 1);
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        printError(QStringLiteral("Nothing was deleted."));
        return kExitFailure;
    }
    if (bDryRun)
        return printDryRun(oStock);
    try {
        oRemote.deleteFiles(oStock.lUnneeded);
        oRemote.removeEmptyFolders(QStringLiteral("chunks"));
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        return kExitFailure;
    }
    printDeleted(oStock.lUnneeded.size(), oStock.nUnneededBytes, oStock.nStaying);
    return kExitSuccess;
}

} // namespace

int runPrune(const QStringList& lArguments)
{
    QCommandLineParser oParser;
    const QCommandLineOption oHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help"));
    const QCommandLineOption oKeep(QStringLiteral("keep"), QString(), QStringLiteral("DOCUMENT"));
    const QCommandLineOption oDryRun(QStringLiteral("dry-run"), QString());
    oParser.addOptions({oHelp, oKeep, oDryRun});
    if (!oParser.parse(QStringList{QStringLiteral("corvane-publish prune")} + lArguments))
        return usageError(oParser.errorText(), pruneUsage());
    if (oParser.isSet(oHelp)) {
        printOut(pruneUsage());
        return kExitSuccess;
    }
    if (oParser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("Expected exactly one CDNDIR."), pruneUsage());
    const QString sGiven = oParser.positionalArguments().first();
    if (TRcloneRemote::namesRemote(sGiven))
        return pruneRemote(sGiven, oParser.values(oKeep), oParser.isSet(oDryRun));
    const QString sFolder = QFileInfo(sGiven).canonicalFilePath();
    if (sFolder.isEmpty() || !QFileInfo(sFolder).isDir()) {
        printError(QStringLiteral("'%1' is not a folder.").arg(QDir::toNativeSeparators(sGiven)));
        return kExitFailure;
    }
    TCdnLock oLock;
    if (!oLock.acquire(sFolder)) {
        printError(oLock.errorString());
        return kExitFailure;
    }

    QSet<QString> lNeeded;
    try {
        const QString sPackage = sFolder + QStringLiteral("/package.json");
        const QString sAssets = sFolder + QStringLiteral("/assets.json");
        if (!QFileInfo::exists(sPackage))
            throw std::runtime_error(holdsNoPackage(sGiven).toStdString());
        const bool bAssets = QFileInfo::exists(sAssets);
        lNeeded = neededChunks(readWholeFile(sPackage), bAssets ? readWholeFile(sAssets) : QByteArray(),
                               bAssets ? QStringLiteral("'%1' and '%2'").arg(QDir::toNativeSeparators(sPackage),
                                                                             QDir::toNativeSeparators(sAssets))
                                       : QStringLiteral("'%1'").arg(QDir::toNativeSeparators(sPackage)),
                               folderBaseUrl(sFolder), oParser.values(oKeep));
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        printError(QStringLiteral("Nothing was deleted."));
        return kExitFailure;
    }

    QMap<QString, quint64> hChunkFiles;
    QDirIterator oChunks(sFolder + QStringLiteral("/chunks"), QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (oChunks.hasNext()) {
        const QString sPath = QDir::cleanPath(oChunks.next());
        hChunkFiles.insert(sPath, quint64(std::max<qint64>(oChunks.fileInfo().size(), 0)));
    }
    TPruneStock oStock = takeStock(hChunkFiles, lNeeded);
    const QDir oRoot(sFolder);
    if (oParser.isSet(oDryRun)) {
        for (QString& sPath : oStock.lUnneeded)
            sPath = oRoot.relativeFilePath(sPath);
        return printDryRun(oStock);
    }

    int nDeleted = 0;
    quint64 nDeletedBytes = 0;
    QSet<QString> lEmptied;
    bool bFailed = false;
    for (const QString& sPath : qAsConst(oStock.lUnneeded)) {
        QFile oFile(sPath);
        const quint64 nSize = hChunkFiles.value(sPath);
        if (!oFile.remove()) {
            printError(QStringLiteral("Cannot delete '%1': %2").arg(QDir::toNativeSeparators(sPath), oFile.errorString()));
            bFailed = true;
            continue;
        }
        ++nDeleted;
        nDeletedBytes += nSize;
        lEmptied.insert(QFileInfo(sPath).path());
    }
    // The folders below chunks/ that held only deleted files go with them.
    QStringList lFolders = lEmptied.values();
    std::sort(lFolders.begin(), lFolders.end(), [](const QString& sLeft, const QString& sRight) { return sLeft.size() > sRight.size(); });
    const QString sChunksFolder = sFolder + QStringLiteral("/chunks");
    for (const QString& sPath : qAsConst(lFolders)) {
        if (sPath != sChunksFolder)
            QDir().rmdir(sPath);
    }
    printDeleted(nDeleted, nDeletedBytes, oStock.nStaying + oStock.lUnneeded.size() - nDeleted);
    return bFailed ? kExitFailure : kExitSuccess;
}
