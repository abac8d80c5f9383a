#include "commands.h"

#include "cdnlock.h"
#include "documentreading.h"
#include "progressreporter.h"
#include "toolio.h"

#include "launcher/documents/packageconfigurationreader.h"

#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <stdexcept>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

namespace {

QString pruneUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish prune CDNDIR [--keep DOCUMENT]... [--dry-run]\n"
        "Deletes the chunk files below CDNDIR/chunks that no document still needs: neither\n"
        "CDNDIR/package.json, CDNDIR/assets.json nor any kept document. Keep the documents of\n"
        "the versions that launchers may still be installing or verifying; their addresses are\n"
        "read as if the documents lay in CDNDIR, where they were served. Other files of CDNDIR\n"
        "are never touched. Holds CDNDIR against other runs of build and prune.\n"
        "  --keep DOCUMENT   an older package or asset document whose chunks stay; repeat for more\n"
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
            throw std::runtime_error(QStringLiteral("'%1' holds no package.json; without it every chunk would go.")
                                         .arg(QDir::toNativeSeparators(sGiven))
                                         .toStdString());
        const QUrl oBase = folderBaseUrl(sFolder);
        addAddresses(*readPublishedDocuments(sPackage, QFileInfo::exists(sAssets) ? sAssets : QString(), oBase), lNeeded);
        for (const QString& sKept : oParser.values(oKeep)) {
            const auto pReader = readPublishedDocuments(sKept, QString(), oBase);
            // Anything else that happens to be JSON would keep nothing, silently.
            if (pReader->chunks().empty() && pReader->files().empty())
                throw std::runtime_error(QStringLiteral("'%1' lists no chunks or files: it is no package or asset document.")
                                             .arg(QDir::toNativeSeparators(sKept))
                                             .toStdString());
            addAddresses(*pReader, lNeeded);
        }
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        printError(QStringLiteral("Nothing was deleted."));
        return kExitFailure;
    }

    QStringList lUnneeded;
    quint64 nUnneededBytes = 0;
    int nStaying = 0;
    QDirIterator oChunks(sFolder + QStringLiteral("/chunks"), QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (oChunks.hasNext()) {
        const QString sPath = QDir::cleanPath(oChunks.next());
        if (lNeeded.contains(sPath)) {
            ++nStaying;
        } else {
            lUnneeded << sPath;
            nUnneededBytes += quint64(std::max<qint64>(oChunks.fileInfo().size(), 0));
        }
    }
    std::sort(lUnneeded.begin(), lUnneeded.end());
    const QDir oRoot(sFolder);

    if (oParser.isSet(oDryRun)) {
        QString sList;
        for (const QString& sPath : qAsConst(lUnneeded))
            sList += QStringLiteral("would delete %1\n").arg(oRoot.relativeFilePath(sPath));
        printOut(sList + QStringLiteral("Would delete %1 chunk files, %2 bytes (%3); %4 chunk files stay.\n")
                             .arg(lUnneeded.size())
                             .arg(nUnneededBytes)
                             .arg(byteCountText(nUnneededBytes))
                             .arg(nStaying));
        return kExitSuccess;
    }

    int nDeleted = 0;
    quint64 nDeletedBytes = 0;
    QSet<QString> lEmptied;
    bool bFailed = false;
    for (const QString& sPath : qAsConst(lUnneeded)) {
        QFile oFile(sPath);
        const quint64 nSize = quint64(std::max<qint64>(QFileInfo(sPath).size(), 0));
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
    printOut(QStringLiteral("Deleted %1 chunk files, %2 bytes (%3); %4 chunk files stay.\n")
                 .arg(nDeleted)
                 .arg(nDeletedBytes)
                 .arg(byteCountText(nDeletedBytes))
                 .arg(nStaying + lUnneeded.size() - nDeleted));
    return bFailed ? kExitFailure : kExitSuccess;
}
