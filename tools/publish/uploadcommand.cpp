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
#include <QFileInfo>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

namespace {

QString uploadUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish upload CDNDIR REMOTE [--dry-run] [--jobs N]\n"
        "Copies a published folder to any storage that rclone reaches, in an order that never\n"
        "shows a launcher a half-published version:\n"
        "  1. the chunk files the documents of CDNDIR name that the remote lacks (a chunk file\n"
        "     already there with the right size is never written again);\n"
        "  2. every package.json, 3. every assets.json, 4. every other file (the metadata last\n"
        "     among them), each only when its bytes differ from the remote's.\n"
        "A failure stops the run before the next step: when a chunk file fails, no document is\n"
        "written. The publisher's own .corvane-publish.* files and chunk files that no document\n"
        "names stay home. REMOTE is \"name:path\" of your rclone configuration or a connection\n"
        "string (\":webdav,url=https://dav.example/:live\"); RCLONE_* variables apply. Holds CDNDIR\n"
        "and every published folder in it against build and prune.\n"
        "  --dry-run   list what would be copied, copy nothing\n"
        "  --jobs N    files copied at once (default 4)\n"
        "Exit codes: 0 done, 1 failed, 2 wrong command line.\n");
}

// What an upload copies, in its order, and what it leaves.
struct TUploadPlan
{
    // Paths relative to the folder.
    QStringList lChunks;
    quint64 nChunkBytes = 0;
    int nChunksThere = 0;
    int nChunksUnnamed = 0;
    QStringList lDocuments;
    int nDocumentsUnchanged = 0;
};

bool isPublishersOwn(const QString& sName)
{
    return sName.startsWith(QLatin1String(".corvane-publish."));
}

// Every file a document names that lies in the folder, with the size it must
// have; a named file that is missing, has another size or lies outside the
// folder stops the upload before anything is copied.
void addNamedFiles(const TPackageConfigurationReader& oReader, const QDir& oRoot, const QString& sDocument,
                   QMap<QString, quint64>& hNamed)
{
    const auto add = [&](const QUrl& oUrl, quint64 nSize) {
        if (!oUrl.isLocalFile())
            return;
        const QString sPath = QDir::cleanPath(oUrl.toLocalFile());
        const QString sRelative = oRoot.relativeFilePath(sPath);
        if (sRelative.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(sRelative))
            throw std::runtime_error(QStringLiteral("%1 names '%2', which lies outside the folder uploaded.")
                                         .arg(sDocument, QDir::toNativeSeparators(sPath))
                                         .toStdString());
        const QFileInfo oInfo(sPath);
        if (!oInfo.isFile())
            throw std::runtime_error(QStringLiteral("%1 names '%2', which is missing.").arg(sDocument, sRelative).toStdString());
        if (quint64(oInfo.size()) != nSize)
            throw std::runtime_error(QStringLiteral("%1 names '%2' of %3 bytes, but it has %4; run corvane-publish check.")
                                         .arg(sDocument, sRelative)
                                         .arg(nSize)
                                         .arg(oInfo.size())
                                         .toStdString());
        hNamed.insert(sRelative, nSize);
    };
    for (const TChunkDescription& oChunk : oReader.chunks())
        add(oReader.url(oChunk), oChunk.packedSize());
    for (const TFileDescription& oFile : oReader.files()) {
        if (oFile.packedForm().hasUrl())
            add(oReader.url(oFile.packedForm()), oFile.packedForm().packedSize());
    }
}

// Documents in their order of upload: package documents, asset documents, then
// the rest, plain files before JSON documents, so that the metadata comes after
// whatever it may name.
bool uploadsBefore(const QString& sLeft, const QString& sRight)
{
    const auto rank = [](const QString& sPath) {
        const QString sName = QFileInfo(sPath).fileName();
        if (sName == kPackageDocument)
            return 0;
        if (sName == kAssetDocument)
            return 1;
        return sName.endsWith(QLatin1String(".json")) ? 3 : 2;
    };
    const int nLeft = rank(sLeft);
    const int nRight = rank(sRight);
    return nLeft != nRight ? nLeft < nRight : sLeft < sRight;
}

TUploadPlan planUpload(const QString& sFolder, const QStringList& lPublished, const TRcloneRemote& oRemote)
{
    const QDir oRoot(sFolder);
    QMap<QString, quint64> hNamed;
    for (const QString& sPublished : lPublished) {
        const QString sAssets = QDir(sPublished).filePath(kAssetDocument);
        const QString sPackage = QDir(sPublished).filePath(kPackageDocument);
        const auto pReader = readPublishedDocuments(sPackage, QFileInfo(sAssets).isFile() ? sAssets : QString(),
                                                    folderBaseUrl(sPublished));
        addNamedFiles(*pReader, oRoot, oRoot.relativeFilePath(sPackage), hNamed);
    }

    QStringList lChunkFolders;
    for (const QString& sPublished : lPublished)
        lChunkFolders << oRoot.relativeFilePath(QDir(sPublished).filePath(QStringLiteral("chunks"))) + QLatin1Char('/');
    QStringList lOthers;
    TUploadPlan oPlan;
    QDirIterator oFiles(sFolder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (oFiles.hasNext()) {
        const QString sRelative = oRoot.relativeFilePath(oFiles.next());
        if (isPublishersOwn(oFiles.fileName()) || hNamed.contains(sRelative))
            continue;
        const bool bChunkFile = std::any_of(lChunkFolders.cbegin(), lChunkFolders.cend(),
                                            [&](const QString& sChunks) { return sRelative.startsWith(sChunks); });
        if (bChunkFile)
            ++oPlan.nChunksUnnamed;
        else
            lOthers << sRelative;
    }

    const QMap<QString, quint64> hRemote = oRemote.listFiles();
    for (auto it = hNamed.cbegin(); it != hNamed.cend(); ++it) {
        const auto itThere = hRemote.constFind(it.key());
        if (itThere != hRemote.cend() && itThere.value() == it.value()) {
            ++oPlan.nChunksThere;
        } else {
            oPlan.lChunks << it.key();
            oPlan.nChunkBytes += it.value();
        }
    }
    std::sort(lOthers.begin(), lOthers.end(), uploadsBefore);
    for (const QString& sRelative : qAsConst(lOthers)) {
        const auto itThere = hRemote.constFind(sRelative);
        const QString sLocal = oRoot.filePath(sRelative);
        if (itThere != hRemote.cend() && itThere.value() == quint64(QFileInfo(sLocal).size())
            && oRemote.read(sRelative) == readWholeFile(sLocal)) {
            ++oPlan.nDocumentsUnchanged;
            continue;
        }
        oPlan.lDocuments << sRelative;
    }
    return oPlan;
}

// The folder and every folder below it that holds a package document.
QStringList publishedFolders(const QString& sFolder)
{
    QStringList lFolders;
    QDirIterator oDocuments(sFolder, {kPackageDocument}, QDir::Files, QDirIterator::Subdirectories);
    while (oDocuments.hasNext())
        lFolders << QFileInfo(oDocuments.next()).path();
    std::sort(lFolders.begin(), lFolders.end());
    return lFolders;
}

} // namespace

int runUpload(const QStringList& lArguments)
{
    QCommandLineParser oParser;
    const QCommandLineOption oHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help"));
    const QCommandLineOption oDryRun(QStringLiteral("dry-run"), QString());
    const QCommandLineOption oJobs(QStringLiteral("jobs"), QString(), QStringLiteral("N"));
    oParser.addOptions({oHelp, oDryRun, oJobs});
    if (!oParser.parse(QStringList{QStringLiteral("corvane-publish upload")} + lArguments))
        return usageError(oParser.errorText(), uploadUsage());
    if (oParser.isSet(oHelp)) {
        printOut(uploadUsage());
        return kExitSuccess;
    }
    if (oParser.positionalArguments().size() != 2)
        return usageError(QStringLiteral("Expected CDNDIR and REMOTE."), uploadUsage());
    int nJobs = 4;
    if (oParser.isSet(oJobs)) {
        bool bNumber = false;
        nJobs = oParser.value(oJobs).toInt(&bNumber);
        if (!bNumber || nJobs < 1 || nJobs > 256)
            return usageError(QStringLiteral("--jobs must be a number from 1 to 256."), uploadUsage());
    }
    const QString sGiven = oParser.positionalArguments().at(0);
    const QString sFolder = QFileInfo(sGiven).canonicalFilePath();
    if (sFolder.isEmpty() || !QFileInfo(sFolder).isDir()) {
        printError(QStringLiteral("'%1' is not a folder.").arg(QDir::toNativeSeparators(sGiven)));
        return kExitFailure;
    }
    const TRcloneRemote oRemote(oParser.positionalArguments().at(1));

    // No build or prune may change what is being copied.
    QStringList lPublished = publishedFolders(sFolder);
    std::vector<std::unique_ptr<TCdnLock>> lLocks;
    for (const QString& sHeld : QStringList{sFolder} + lPublished) {
        if (!lLocks.empty() && sHeld == sFolder)
            continue;
        lLocks.push_back(std::make_unique<TCdnLock>());
        if (!lLocks.back()->acquire(sHeld)) {
            printError(lLocks.back()->errorString());
            return kExitFailure;
        }
    }

    TUploadPlan oPlan;
    try {
        oPlan = planUpload(sFolder, lPublished, oRemote);
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        printError(QStringLiteral("Nothing was copied."));
        return kExitFailure;
    }

    const QString sChunkSummary = QStringLiteral("%1 chunk files, %2 bytes (%3); %4 already there")
                                      .arg(oPlan.lChunks.size())
                                      .arg(oPlan.nChunkBytes)
                                      .arg(byteCountText(oPlan.nChunkBytes))
                                      .arg(oPlan.nChunksThere);
    const QString sDocumentSummary = QStringLiteral("%1 documents and other files; %2 unchanged")
                                         .arg(oPlan.lDocuments.size())
                                         .arg(oPlan.nDocumentsUnchanged);
    const QString sHome = oPlan.nChunksUnnamed ? QStringLiteral(" %1 chunk files that no document names stay home.")
                                                     .arg(oPlan.nChunksUnnamed)
                                               : QString();
    if (oParser.isSet(oDryRun)) {
        QString sList;
        for (const QString& sRelative : qAsConst(oPlan.lChunks) + oPlan.lDocuments)
            sList += QStringLiteral("would copy %1\n").arg(sRelative);
        printOut(sList + QStringLiteral("Would copy %1; %2.%3\n").arg(sChunkSummary, sDocumentSummary, sHome));
        return kExitSuccess;
    }

    try {
        oRemote.copyFiles(sFolder, oPlan.lChunks, nJobs);
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        printError(QStringLiteral("No document was written; the remote still offers what it offered before."));
        return kExitFailure;
    }
    for (int nDocument = 0; nDocument < oPlan.lDocuments.size(); ++nDocument) {
        const QString& sRelative = oPlan.lDocuments.at(nDocument);
        try {
            oRemote.copyFile(QDir(sFolder).filePath(sRelative), sRelative);
        } catch (const std::exception& oError) {
            printError(QString::fromUtf8(oError.what()));
            printError(QStringLiteral("Stopped before: %1.").arg(oPlan.lDocuments.mid(nDocument).join(QStringLiteral(", "))));
            return kExitFailure;
        }
    }
    printOut(QStringLiteral("Copied %1; %2.%3\n").arg(sChunkSummary, sDocumentSummary, sHome));
    return kExitSuccess;
}
