#include "publisher.h"

#include "cdnlock.h"
#include "configurationwriter.h"
#include "documentreading.h"
#include "documentswap.h"
#include "progressreporter.h"
#include "terminal.h"
#include "toolio.h"

#include "launcher/engine/hashingchunker.h"
#include "shared/sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

using velmar::launcher::TContentChunker;
using velmar::launcher::THashingChunker;

namespace {

// Raised on the reading thread when the user interrupts; never leaves TPublisher.
struct TInterrupted
{
};

// The path with every existing part resolved through symbolic links, so that
// two spellings of one place compare equal even before the place exists.
QString resolvedPath(const QString& sPath)
{
    QString sExisting = QDir::cleanPath(QFileInfo(sPath).absoluteFilePath());
    QString sRest;
    while (!QFileInfo::exists(sExisting)) {
        const QFileInfo oInfo(sExisting);
        sRest = QLatin1Char('/') + oInfo.fileName() + sRest;
        sExisting = oInfo.path();
    }
    return QDir::cleanPath(QFileInfo(sExisting).canonicalFilePath() + sRest);
}

bool isInsideOrEqual(const QString& sFolder, const QString& sPath)
{
    return sPath == sFolder || sPath.startsWith(sFolder.endsWith(QLatin1Char('/')) ? sFolder : sFolder + QLatin1Char('/'));
}

} // namespace

TPublisher::TPublisher(TBuildOptions oOptions) : m_oOptions(std::move(oOptions)), m_oSlots(2 * m_oOptions.nJobs)
{
    m_oPool.setMaxThreadCount(m_oOptions.nJobs);
}

TPublisher::~TPublisher()
{
    m_oPool.waitForDone();
}

int TPublisher::run()
{
    const TSourceTree oTree(m_oOptions.sSource);
    if (const int nExitCode = takeStock(oTree); nExitCode != kExitSuccess)
        return nExitCode;

    TCdnLock oLock;
    if (!oLock.acquire(m_sOutputFolder)) {
        printError(oLock.errorString());
        return kExitFailure;
    }
    m_pStore = std::make_unique<TChunkStore>(m_sOutputFolder, m_oOptions.eMethod, m_oOptions.nLevel);
    m_pCache = std::make_unique<TReadCache>(m_sOutputFolder);
    quint64 nTotalBytes = 0;
    for (const TSourceFile& oSource : oTree.files())
        nTotalBytes += oSource.nSize;
    TProgressReporter oProgress(QStringLiteral("Publishing"), nTotalBytes);
    catchInterruptions();
    try {
        publishFiles(oTree.files(), oProgress);
    } catch (const TInterrupted&) {
        failWith(QStringLiteral("Interrupted."));
    } catch (const std::exception& oError) {
        failWith(QString::fromUtf8(oError.what()));
    }
    m_oPool.waitForDone();
    oProgress.finish();
    if (!m_bFailed.loadAcquire() && interruptionRequested())
        failWith(QStringLiteral("Interrupted."));

    if (!m_bFailed.loadAcquire()) {
        try {
            writeDocuments();
        } catch (const std::exception& oError) {
            failWith(QString::fromUtf8(oError.what()));
        }
    }
    if (m_bFailed.loadAcquire()) {
        m_pStore->rollBack();
        printError(m_sError);
        printError(QStringLiteral("Nothing was published; '%1' is as it was.").arg(QDir::toNativeSeparators(m_oOptions.sOutput)));
        return kExitFailure;
    }
    saveCache(oTree);
    quint64 nPackedBytes = 0;
    for (const TPublishedChunk& oChunk : m_lChunks)
        nPackedBytes += oChunk.nPackedSize;
    QString sReport = QStringLiteral("Published version %1%2 of %3 files (%4) into '%5': %6 distinct chunks, %7 packed.\n")
                          .arg(m_oOptions.sVersion,
                               m_oOptions.sAssets.isEmpty() ? QString()
                                                            : QStringLiteral(" (assets %1)").arg(m_oOptions.sAssetVersion))
                          .arg(m_lFiles.size())
                          .arg(byteCountText(nTotalBytes), QDir::toNativeSeparators(m_oOptions.sOutput))
                          .arg(m_lChunks.size())
                          .arg(byteCountText(nPackedBytes));
    sReport += QStringLiteral("New chunk files: %1, %2 bytes (%3); %4 chunk files were already there.\n")
                   .arg(m_nWrittenFiles.loadAcquire())
                   .arg(m_nWrittenBytes.loadAcquire())
                   .arg(byteCountText(m_nWrittenBytes.loadAcquire()))
                   .arg(quint64(m_lChunks.size()) - m_nWrittenFiles.loadAcquire() + m_nRepairedFiles.loadAcquire());
    sReport += QStringLiteral("Read %1 files (%2); %3 unchanged files were taken from the cache of earlier builds.\n")
                   .arg(m_nReadFiles)
                   .arg(byteCountText(m_nReadBytes))
                   .arg(int(m_lFiles.size()) - m_nReadFiles);
    if (m_nRepairedFiles.loadAcquire())
        sReport += QStringLiteral("Replaced %1 damaged chunk files.\n").arg(m_nRepairedFiles.loadAcquire());
    if (!m_sRemovedAssetDocument.isEmpty())
        sReport += QStringLiteral("Removed the asset document of the previous version, '%1'.\n").arg(m_sRemovedAssetDocument);
    printOut(sReport);
    return kExitSuccess;
}

int TPublisher::takeStock(const TSourceTree& oTree)
{
    if (!oTree.problems().isEmpty()) {
        printError(QStringLiteral("The source '%1' cannot be published:").arg(QDir::toNativeSeparators(m_oOptions.sSource)));
        for (const QString& sProblem : oTree.problems())
            printError(QStringLiteral("  ") + sProblem);
        return kExitFailure;
    }
    if (oTree.files().empty()) {
        printError(QStringLiteral("The source '%1' holds no files: there is nothing to publish.")
                       .arg(QDir::toNativeSeparators(m_oOptions.sSource)));
        return kExitFailure;
    }
    m_sOutputFolder = resolvedPath(m_oOptions.sOutput);
    if (isInsideOrEqual(oTree.canonicalRoot(), m_sOutputFolder)) {
        printError(QStringLiteral("The output folder '%1' lies inside the source: it would be published with the client.")
                       .arg(QDir::toNativeSeparators(m_oOptions.sOutput)));
        return kExitFailure;
    }
    if (QFileInfo::exists(m_sOutputFolder) && !QFileInfo(m_sOutputFolder).isDir()) {
        printError(QStringLiteral("The output '%1' is not a folder.").arg(QDir::toNativeSeparators(m_oOptions.sOutput)));
        return kExitFailure;
    }

    QString sAssetPrefix;
    if (!m_oOptions.sAssets.isEmpty())
        sAssetPrefix = m_oOptions.sAssets + QLatin1Char('/');
    bool bExecutableFound = false;
    int nAssetFiles = 0;
    m_lFiles.resize(oTree.files().size());
    for (size_t nIndex = 0; nIndex < oTree.files().size(); ++nIndex) {
        const TSourceFile& oSource = oTree.files()[nIndex];
        TPublishedFile& oFile = m_lFiles[nIndex];
        oFile.sLocalFile = oSource.sRelativePath;
        oFile.nSize = oSource.nSize;
        oFile.bExecutable = oSource.bExecutable;
        oFile.bAsset = !sAssetPrefix.isEmpty() && oSource.sRelativePath.startsWith(sAssetPrefix);
        nAssetFiles += oFile.bAsset ? 1 : 0;
        bExecutableFound = bExecutableFound || oSource.sRelativePath == m_oOptions.sExecutable;
    }
    if (!bExecutableFound) {
        printError(QStringLiteral("The executable '%1' is not a file of the source.").arg(m_oOptions.sExecutable));
        return kExitFailure;
    }
    if (!sAssetPrefix.isEmpty() && nAssetFiles == 0) {
        printError(QStringLiteral("The asset folder '%1' holds no files of the source.").arg(m_oOptions.sAssets));
        return kExitFailure;
    }
    return kExitSuccess;
}

void TPublisher::publishFiles(const std::vector<TSourceFile>& lSources, TProgressReporter& oProgress)
{
    THashingChunker oChunker;
    for (size_t nIndex = 0; nIndex < lSources.size() && !m_bFailed.loadAcquire(); ++nIndex) {
        const TSourceFile& oSource = lSources[nIndex];
        TPublishedFile& oFile = m_lFiles[nIndex];
        const TReadCache::TFile* pCached = m_pCache->file(oSource);
        if (!pCached || !takeFromCache(*pCached, oFile))
            readFile(oSource, oFile, oChunker, oProgress);
    }
}

void TPublisher::readFile(const TSourceFile& oSource, TPublishedFile& oFile, THashingChunker& oChunker,
                          TProgressReporter& oProgress)
{
    QFile oInput(oSource.sPath);
    if (!oInput.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw std::runtime_error(
            QStringLiteral("Cannot read '%1': %2").arg(oSource.sRelativePath, oInput.errorString()).toStdString());
    // A file of up to one minimal chunk is one chunk, whose hash is the file's.
    const bool bMayHaveChunks = oSource.nSize > TContentChunker::kMinimumChunkSize;
    shared::TSha256 oFileHash;
    quint64 nRead = 0;
    oChunker.chunkDevice(oInput, [&](const char* pChunk, size_t nLength, const QByteArray& aHash) {
        if (bMayHaveChunks)
            oFileHash.addData(pChunk, nLength);
        nRead += nLength;
        oFile.lChunks.push_back(chunkIndex(aHash, pChunk, nLength, oProgress));
    });
    oInput.close();
    if (nRead != oSource.nSize || !TSourceTree::unchanged(oSource))
        throw std::runtime_error(QStringLiteral("'%1' changed while it was being published; publish again once the "
                                                "source is settled.")
                                     .arg(oSource.sRelativePath)
                                     .toStdString());
    ++m_nReadFiles;
    m_nReadBytes += nRead;
    if (oFile.lChunks.empty())
        oFile.nPackedForm = chunkIndex(shared::TSha256::hash(nullptr, 0), nullptr, 0, oProgress);
    completeFile(oFile, oFile.lChunks.size() > 1 ? oFileHash.result() : QByteArray());
}

bool TPublisher::takeFromCache(const TReadCache::TFile& oCached, TPublishedFile& oFile)
{
    const QByteArray aEmptyHash = shared::TSha256::hash(nullptr, 0);
    std::vector<TReadCache::TChunk> lNeeded = oCached.lChunks;
    if (lNeeded.empty())
        lNeeded.push_back({aEmptyHash, 0});
    for (const TReadCache::TChunk& oChunk : lNeeded) {
        if (!m_hChunkIndex.contains(oChunk.aHash) && !cachedPackedChunk(oChunk.aHash))
            return false;
    }
    for (const TReadCache::TChunk& oChunk : lNeeded) {
        int nIndex = knownChunkIndex(oChunk.aHash, oChunk.nSize);
        if (nIndex < 0) {
            nIndex = int(m_lChunks.size());
            const TReadCache::TPackedChunk* pPacked = cachedPackedChunk(oChunk.aHash);
            TPublishedChunk& oNew = newChunk(oChunk.aHash, oChunk.nSize);
            oNew.nPackedSize = pPacked->nPackedSize;
            oNew.aPackedHash = pPacked->aPackedHash;
            m_nDoneBytes.fetchAndAddRelaxed(oChunk.nSize);
        }
        if (!oCached.lChunks.empty())
            oFile.lChunks.push_back(nIndex);
        else
            oFile.nPackedForm = nIndex;
    }
    completeFile(oFile, oFile.lChunks.size() > 1 ? oCached.aHash : QByteArray());
    return true;
}

const TReadCache::TPackedChunk* TPublisher::cachedPackedChunk(const QByteArray& aHash) const
{
    const QString sUrl = m_pStore->relativeUrl(aHash);
    const TReadCache::TPackedChunk* pPacked = m_pCache->packedChunk(sUrl);
    // A chunk file that was pruned or cut short since is packed again from the file.
    const QFileInfo oChunkFile(m_sOutputFolder + QLatin1Char('/') + sUrl);
    return pPacked && oChunkFile.isFile() && quint64(oChunkFile.size()) == pPacked->nPackedSize ? pPacked : nullptr;
}

void TPublisher::completeFile(TPublishedFile& oFile, const QByteArray& aChunkedHash)
{
    if (oFile.lChunks.empty()) {
        oFile.aHash = shared::TSha256::hash(nullptr, 0);
    } else if (oFile.lChunks.size() == 1) {
        oFile.aHash = m_lChunks[size_t(oFile.lChunks.front())].aUnpackedHash;
        oFile.nPackedForm = oFile.lChunks.front();
    } else {
        oFile.aHash = aChunkedHash;
    }
}

int TPublisher::knownChunkIndex(const QByteArray& aHash, size_t nLength)
{
    const auto oFound = m_hChunkIndex.constFind(aHash);
    if (oFound == m_hChunkIndex.constEnd())
        return -1;
    m_nDoneBytes.fetchAndAddRelaxed(nLength);
    return oFound.value();
}

TPublishedChunk& TPublisher::newChunk(const QByteArray& aHash, size_t nLength)
{
    m_hChunkIndex.insert(aHash, int(m_lChunks.size()));
    TPublishedChunk& oChunk = m_lChunks.emplace_back();
    oChunk.aUnpackedHash = aHash;
    oChunk.nUnpackedSize = nLength;
    oChunk.sUrl = m_pStore->relativeUrl(aHash);
    return oChunk;
}

int TPublisher::chunkIndex(const QByteArray& aHash, const char* pBytes, size_t nLength, TProgressReporter& oProgress)
{
    if (const int nKnown = knownChunkIndex(aHash, nLength); nKnown >= 0)
        return nKnown;
    // Wait for a free slot, keeping the terminal informed and the user in charge.
    while (!m_oSlots.tryAcquire(1, 200)) {
        oProgress.report(m_nDoneBytes.loadAcquire(), progressDetail());
        if (interruptionRequested())
            throw TInterrupted();
    }
    if (interruptionRequested()) {
        m_oSlots.release();
        throw TInterrupted();
    }
    const int nIndex = int(m_lChunks.size());
    TPublishedChunk* pChunk = &newChunk(aHash, nLength);
    const QByteArray aBytes(pBytes, int(nLength));
    m_oPool.start([this, pChunk, aBytes]() { storeChunk(pChunk, aBytes); });
    oProgress.report(m_nDoneBytes.loadAcquire(), progressDetail());
    return nIndex;
}

void TPublisher::storeChunk(TPublishedChunk* pChunk, const QByteArray& aBytes)
{
    if (!m_bFailed.loadAcquire() && !interruptionRequested()) {
        try {
            const TChunkStore::TStoredChunk oStored = m_pStore->store(aBytes, pChunk->aUnpackedHash);
            pChunk->nPackedSize = oStored.nPackedSize;
            pChunk->aPackedHash = oStored.aPackedHash;
            if (oStored.bWritten) {
                m_nWrittenFiles.fetchAndAddRelaxed(1);
                m_nWrittenBytes.fetchAndAddRelaxed(oStored.nPackedSize);
            }
            if (oStored.bRepaired)
                m_nRepairedFiles.fetchAndAddRelaxed(1);
        } catch (const std::exception& oError) {
            failWith(QString::fromUtf8(oError.what()));
        } catch (...) {
            failWith(QStringLiteral("Packing a chunk failed."));
        }
    }
    m_nDoneBytes.fetchAndAddRelaxed(quint64(aBytes.size()));
    m_oSlots.release();
}

void TPublisher::writeDocuments()
{
    std::vector<const TPublishedFile*> lPackageFiles;
    std::vector<const TPublishedFile*> lAssetFiles;
    for (const TPublishedFile& oFile : m_lFiles)
        (oFile.bAsset ? lAssetFiles : lPackageFiles).push_back(&oFile);

    TConfigurationWriter oWriter(m_lChunks);
    const QByteArray aPackage = oWriter.packageDocument(m_oOptions.sVersion, m_oOptions.sExecutable,
                                                        m_oOptions.sGeneration, m_oOptions.sVariant,
                                                        m_oOptions.lParameters, lPackageFiles);
    // The package document first: the launcher asks for it before the asset
    // document, so only a reader whose two requests both fall between the
    // renames, or span both, can get a mismatched pair. An asset document left
    // from an earlier version without assets would pair its chunk numbers with
    // the wrong chunks; it goes in the same step.
    TDocumentSwap oSwap(m_sOutputFolder);
    oSwap.stage(kPackageDocument, aPackage);
    const QString sAssetPath = m_sOutputFolder + QLatin1Char('/') + kAssetDocument;
    if (!m_oOptions.sAssets.isEmpty()) {
        oSwap.stage(kAssetDocument, oWriter.assetDocument(m_oOptions.sAssetVersion, lAssetFiles));
    } else if (QFileInfo::exists(sAssetPath)) {
        oSwap.stageRemoval(kAssetDocument);
        m_sRemovedAssetDocument = QDir::toNativeSeparators(sAssetPath);
    }
    oSwap.commit();
}

void TPublisher::saveCache(const TSourceTree& oTree)
{
    try {
        TReadCache::save(m_sOutputFolder, oTree.walkStarted(), oTree.files(), m_lFiles, m_lChunks);
    } catch (const std::exception& oError) {
        // The version is published; only the next build's shortcut is lost.
        printError(QStringLiteral("Warning: the read cache was not saved, so the next build reads every file: %1")
                       .arg(QString::fromUtf8(oError.what())));
    }
}

void TPublisher::failWith(const QString& sError)
{
    QMutexLocker oLock(&m_oErrorMutex);
    if (m_sError.isEmpty())
        m_sError = sError;
    m_bFailed.storeRelease(1);
}

QString TPublisher::progressDetail() const
{
    return QStringLiteral("%1 new chunk files").arg(m_nWrittenFiles.loadAcquire());
}
