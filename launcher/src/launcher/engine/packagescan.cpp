// The scan half of a package installation: which files of the target
// configuration are complete on disk, which chunks of the others can be reused
// in place, and what is left to download.

#include "packageinstallation.h"

#include "installlog.h"

#include "chunkreuse.h"
#include "interruption.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "poolslotloan.h"
#include "scanprogress.h"
#include "stagedfile.h"

#include "shared/checkedfile.h"
#include "shared/checkedfileio.h"
#include "shared/confinedfolder.h"
#include "shared/ioerror.h"
#include "shared/sha256.h"
#include "shared/statuslookup.h"

#include <QDebug>
#include <QMutex>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <deque>
#include <iterator>

namespace velmar::launcher {

namespace {

constexpr int kScanTasks = 6;

using EEntry = shared::TConfinedFolder::EEntry;

void markExecutable(const shared::TConfinedFolder& oFolder, const QString& sPath)
{
    if (oFolder.status(sPath).m_bExecutable)
        return;
    shared::TCheckedFile oFile;
    const QFileDevice::Permissions eAll = QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    if (!oFile.open(oFolder, sPath, QIODevice::ReadOnly) || !oFile.setPermissions(oFile.permissions() | eAll))
        throw shared::ioError(oFolder.filePath(sPath), QStringLiteral("couldn't make it executable: %1").arg(oFile.errorString()));
}

// The file must be fetched whole or chunk by chunk: what stands there goes.
void replaceFile(const shared::TConfinedFolder& oFolder, const QString& sPath, const TPackageConfigurationReader& oTarget,
                 const TFileDescription& oDescription, TFileToDownload& oFile, EEntry eEntry)
{
    // A folder in the way is left for the writer, which removes it whole, and
    // so is a file that cannot be removed now.
    try {
        if (eEntry == EEntry::File || eEntry == EEntry::Link)
            oFolder.removeFile(sPath);
    } catch (const std::runtime_error& oError) {
        qWarning() << "replaceFile:" << oError.what();
    }
    if (oDescription.packedForm().hasUrl() && oDescription.chunks().size() < 2)
        oFile.m_lChunkRecords = {TChunkRecord(oTarget, oDescription.packedForm())};
    oFile.m_lPositionsToWrite.resize(oFile.m_lChunkRecords.size());
    for (size_t nPosition = 0; nPosition < oFile.m_lPositionsToWrite.size(); ++nPosition)
        oFile.m_lPositionsToWrite[nPosition] = qint32(nPosition);
}

// oStatus is what stands at sPath.
bool fileHashes(const shared::TConfinedFolder& oFolder, const QString& sPath, const shared::TConfinedFolder::TStatus& oStatus,
                shared::TFileSize nSize, const shared::TSha256Digest& oHash, const TInterruption& oInterruption)
{
    if (oStatus.m_eEntry != EEntry::File || oStatus.m_nSize != nSize)
        return false;
    try {
        return oHash == shared::hashFile(oFolder, sPath, [&oInterruption] { oInterruption.check(); });
    } catch (const std::runtime_error&) {
        return false;
    }
}

bool fileHashes(const shared::TConfinedFolder& oFolder, const QString& sPath, shared::TFileSize nSize,
                const shared::TSha256Digest& oHash, const TInterruption& oInterruption)
{
    return fileHashes(oFolder, sPath, oFolder.status(sPath), nSize, oHash, oInterruption);
}

struct TScanShared
{
    QMutex m_oMutex;
    std::deque<std::pair<const TFileDescription*, shared::TConfinedFolder::TStatus>> m_lQueue;
    std::atomic<bool> m_bFailed{false};
};

struct TScanTaskResult
{
    std::vector<TFileToDownload> m_lFiles;
    std::vector<QString> m_lChecked;
    QString m_sError;
};

// Checks one file, of which oStatus is what stood at its place when the scan
// began; adds it to lFiles when something of it is still to write.
void scanFile(const shared::TConfinedFolder& oFolder, const TPackageConfigurationReader& oTarget,
              const TPackageConfigurationReader* pInstalled, const TFileDescription& oDescription,
              shared::TConfinedFolder::TStatus oStatus, bool bStaged, TScanProgress& oProgress,
              const TInterruption& oInterruption, std::vector<TFileToDownload>& lFiles, std::vector<QString>& lChecked)
{
    // Paths are the document's, checked to be plain paths inside the folder.
    const QString& sFinalPath = oDescription.localFile();
    QString sPath = sFinalPath;
    TFileToDownload oFile;
    oFile.m_sLocalFile = oDescription.localFile();
    oFile.m_nUnpackedSize = oDescription.unpackedSize();
    oFile.m_oUnpackedHash = oDescription.unpackedHash();
    oFile.m_bExecutable = oDescription.executable();
    oFile.m_lChunkRecords.reserve(oDescription.chunks().size());
    for (const qint32 nIndex : oDescription.chunks())
        oFile.m_lChunkRecords.emplace_back(oTarget, oTarget.chunks()[size_t(nIndex)]);
    // A link in the place of a file is never followed: reading it would examine
    // another file, and moving chunks inside it would write there.
    if (oStatus.m_eEntry == EEntry::Link) {
        oFolder.removeFile(sPath);
        oStatus = {};
    }
    if (bStaged) {
        // The file in place is never written: a sound one is kept as it is, any
        // other is rebuilt in a copy that replaces it once complete.
        if (fileHashes(oFolder, sPath, oStatus, oDescription.unpackedSize(), oDescription.unpackedHash(), oInterruption)) {
            if (oFile.m_bExecutable)
                markExecutable(oFolder, sPath);
            lChecked.push_back(oFile.m_sLocalFile);
            return;
        }
        oFile.m_sStagingFile = sPath = startStagingCopy(oFolder, sFinalPath);
        oStatus = oFolder.status(sPath);
    }

    bool bComplete;
    // Whether the file's whole hash was checked here, so that no later step must.
    bool bChecked = false;
    if (oDescription.unpackedSize() == 0) {
        // Nothing to fetch, but the file must exist, and exist empty.
        if (oDescription.unpackedHash() != shared::TSha256::hash(QByteArray()))
            throw std::runtime_error(
                QStringLiteral("The package's empty file \"%1\" does not have the hash of no bytes.").arg(oFile.m_sLocalFile).toStdString());
        if (oStatus.m_eEntry == EEntry::Folder)
            oFolder.removePath(sPath);
        const int nSlash = sPath.lastIndexOf(QLatin1Char('/'));
        if (nSlash > 0)
            oFolder.createFolders(sPath.left(nSlash));
        shared::TCheckedFile oEmpty;
        if (!oEmpty.open(oFolder, sPath, QIODevice::ReadWrite | QIODevice::Truncate))
            throw shared::ioError(oFolder.filePath(sPath), oEmpty.errorString());
        bComplete = bChecked = true;
    } else if (oDescription.chunks().size() < 2) {
        bComplete = bChecked
            = fileHashes(oFolder, sPath, oStatus, oDescription.unpackedSize(), oDescription.unpackedHash(), oInterruption);
        oProgress.add(oStatus.m_eEntry == EEntry::File ? oStatus.m_nSize : 0);
        if (bComplete)
            qCInfo(lcInstallSteps) << "reuseable file found" << oFile.m_sLocalFile << "Thread:" << QThread::currentThreadId();
        else
            replaceFile(oFolder, sPath, oTarget, oDescription, oFile, oStatus.m_eEntry);
    } else {
        const TReuseResult oReuse
            = reuseChunks(oFolder, sPath, oFile, oDescription.unpackedSize(), pInstalled, oProgress, oInterruption);
        if (!oReuse.m_bFound) {
            replaceFile(oFolder, sPath, oTarget, oDescription, oFile, oFolder.status(sPath).m_eEntry);
        } else if (oFile.m_lPositionsToWrite.empty() && oReuse.m_bChanged) {
            bChecked = fileHashes(oFolder, sPath, oDescription.unpackedSize(), oDescription.unpackedHash(), oInterruption);
            if (!bChecked) {
                // Rebuilt from its own chunks yet wrong: the description it was
                // trusted by was not the truth. Fetch it anew.
                qWarning() << "rearranged file" << oFile.m_sLocalFile << "does not match its hash";
                replaceFile(oFolder, sPath, oTarget, oDescription, oFile, oFolder.status(sPath).m_eEntry);
            }
        }
        bComplete = oFile.m_lPositionsToWrite.empty();
    }
    if (bComplete) {
        if (oFile.m_bExecutable)
            markExecutable(oFolder, sPath);
        if (bStaged)
            commitStagedFile(oFolder, sFinalPath);
        if (bChecked)
            lChecked.push_back(oFile.m_sLocalFile);
        return;
    }
    lFiles.push_back(std::move(oFile));
}

// Fills oResult, which the caller keeps: a future's result would be copied out of it.
void runScanTask(TScanShared* pShared, const shared::TConfinedFolder* pFolder, const TPackageConfigurationReader* pTarget,
                 const TPackageConfigurationReader* pInstalled, bool bStaged, TScanProgress* pProgress,
                 const TInterruption* pInterruption, TScanTaskResult& oResult)
{
    const TFileDescription* pCurrent = nullptr;
    try {
        for (;;) {
            shared::TConfinedFolder::TStatus oStatus;
            {
                QMutexLocker oLock(&pShared->m_oMutex);
                if (pShared->m_lQueue.empty() || pShared->m_bFailed)
                    break;
                pCurrent = pShared->m_lQueue.front().first;
                oStatus = pShared->m_lQueue.front().second;
                pShared->m_lQueue.pop_front();
            }
            pInterruption->check();
            scanFile(*pFolder, *pTarget, pInstalled, *pCurrent, oStatus, bStaged, *pProgress, *pInterruption,
                     oResult.m_lFiles, oResult.m_lChecked);
        }
    } catch (const std::exception& oError) {
        oResult.m_sError = QString::fromUtf8(oError.what());
    } catch (...) {
        oResult.m_sError = QStringLiteral("Examining \"%1\" failed.").arg(pCurrent ? pCurrent->localFile() : QString());
    }
    if (!oResult.m_sError.isEmpty()) {
        qWarning() << "scan of installed files failed:" << oResult.m_sError;
        pShared->m_bFailed = true;
    }
}

} // namespace

void TPackageInstallation::computeFilesToDownload(const shared::TConfinedFolder& oFolder,
                                                  const std::shared_ptr<const TPackageConfigurationReader>& pTarget,
                                                  const TPackageConfigurationReader* pInstalled,
                                                  TPackageDifference& oDifference)
{
    TScanShared oShared;
    shared::TFileSize nTotal = 0;
    // Every file is looked at once, here.
    shared::TStatusLookup oLookup(oFolder);
    for (const TFileDescription& oFile : pTarget->files()) {
        const shared::TConfinedFolder::TStatus oStatus = oLookup.status(oFile.localFile());
        if (oStatus.m_eEntry == EEntry::File)
            nTotal += oStatus.m_nSize;
        oShared.m_lQueue.emplace_back(&oFile, oStatus);
    }
    // The biggest files first, so that the tasks finish close together.
    std::stable_sort(oShared.m_lQueue.begin(), oShared.m_lQueue.end(), [](const auto& oLeft, const auto& oRight) {
        return oLeft.first->unpackedSize() > oRight.first->unpackedSize();
    });
    TScanProgress oProgress(nTotal, [this](shared::TFileSize nScanned, shared::TFileSize nOfTotal) {
        emit scanProgress(nScanned, nOfTotal);
    });
    const bool bStaged = m_nInstallationMode == kLauncherUpdatingItself;
    std::vector<TScanTaskResult> lResults(kScanTasks);
    std::vector<QFuture<void>> lTasks;
    for (TScanTaskResult& oResult : lResults)
        lTasks.push_back(QtConcurrent::run([this, &oShared, &oProgress, &oFolder, pTarget, pInstalled, bStaged, &oResult] {
            runScanTask(&oShared, &oFolder, pTarget.get(), pInstalled, bStaged, &oProgress, &m_oInterruption, oResult);
        }));
    QString sError;
    {
        // This thread only waits: its pool slot goes to a task meanwhile. Every task
        // is waited for, also after a failure: they use this frame's state.
        TPoolSlotLoan oLoan;
        for (QFuture<void>& oTask : lTasks)
            oTask.waitForFinished();
    }
    for (TScanTaskResult& oResult : lResults) {
        if (sError.isEmpty())
            sError = oResult.m_sError;
        std::move(oResult.m_lFiles.begin(), oResult.m_lFiles.end(), std::back_inserter(oDifference.m_lFilesToDownload));
        oDifference.m_lCheckedFiles.insert(oDifference.m_lCheckedFiles.end(), oResult.m_lChecked.begin(),
                                           oResult.m_lChecked.end());
    }
    if (!sError.isEmpty())
        throw std::runtime_error(sError.toStdString());
}

} // namespace velmar::launcher
