// The verification half of a package installation: every file of a
// configuration hashed again and compared with its document.

#include "packageinstallation.h"

#include "installlog.h"

#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "poolslotloan.h"
#include "verificationqueue.h"

#include "shared/checkedfile.h"
#include "shared/confinedfolder.h"
#include "shared/sha256.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QHash>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <vector>

namespace velmar::launcher {

namespace {

// Small blocks stay in the processor's cache between the read and the hash: about a
// third faster than the 10 MiB the verification may use at most.
constexpr qint64 kBlockSize = qint64(256) << 10;
// Progress is told every few MiB a task has hashed, and when it runs out of
// files: every report is an event for the main thread, made under the queue's
// lock (a report a block, or a file, was thousands of them).
constexpr shared::TFileSize kProgressStep = shared::TFileSize(4) << 20;
// How far the read-ahead runs in front of the hashing.
constexpr shared::TFileSize kReadAhead = shared::TFileSize(64) << 20;
// So many files in a row found in the page cache already: the rest are most
// likely there too, and reading ahead would only take the hashing's processors.
constexpr int kCachedRun = 64;

} // namespace

void TPackageInstallation::startVerification(std::shared_ptr<const TPackageConfigurationReader> pConfiguration,
                                             bool bExplicitRequest)
{
    if (!bExplicitRequest && m_pFilesystemHelper->settings()->skipVerification()) {
        onVerifyFinished(true);
        return;
    }
    // A folder without a readable configuration has nothing that could pass.
    if (!pConfiguration || !pConfiguration->isValid()) {
        qWarning() << "verification of" << m_pPackage->name() << "has no installed configuration to check";
        onVerifyFinished(false);
        return;
    }
    auto* pWatcher = new QFutureWatcher<bool>(this);
    connect(pWatcher, &QFutureWatcher<bool>::finished, this, [this, pWatcher] {
        pWatcher->deleteLater();
        onVerifyFinished(pWatcher->result());
    });
    // A file checked whole as it was written is not read again, unless a folder
    // on its way is no plain folder any more (swapped for a link, say): its name
    // may lead elsewhere now, or nowhere.
    QHash<QString, bool> hSoundFolders;
    const auto fnInSoundFolder = [&](const QString& sFile) {
        const int nSlash = sFile.lastIndexOf(QLatin1Char('/'));
        if (nSlash < 0 || !m_pFolder)
            return true;
        const QString sParent = sFile.left(nSlash);
        auto it = hSoundFolders.constFind(sParent);
        if (it == hSoundFolders.cend())
            it = hSoundFolders.insert(sParent, m_pFolder->status(sParent).m_eEntry == shared::TConfinedFolder::EEntry::Folder);
        return *it;
    };
    TFileInPackageVector lFiles;
    for (const TFileDescription& oFile : pConfiguration->files()) {
        if (bExplicitRequest || !m_lCheckedFiles.contains(oFile.localFile()) || !fnInSoundFolder(oFile.localFile()))
            lFiles.push_back(oFile);
    }
    m_nVerifiedFiles = bExplicitRequest ? int(lFiles.size()) : -1;
    qCInfo(lcInstallSteps) << "verification of" << lFiles.size() << "files," << pConfiguration->files().size() - lFiles.size()
                           << "were checked whole in this request";
    workFolder();
    const QFuture<bool> oFuture = QtConcurrent::run(this, &TPackageInstallation::VerifyPackage, m_oInstallationFolder,
                                                    m_pFilesystemHelper, std::move(lFiles));
    m_lTasks.push_back(oFuture);
    pWatcher->setFuture(oFuture);
}

bool TPackageInstallation::VerifyPackage(QDir oFolder, std::shared_ptr<TLauncherFilesystemHelper>,
                                         TFileInPackageVector lFiles)
{
    // The folder the request holds; a caller without one gets its own.
    const auto pFolder = m_pFolder ? m_pFolder : std::make_shared<shared::TConfinedFolder>(oFolder.absolutePath());
    qCInfo(lcInstallSteps) << "VerifyPackage:" << oFolder.absolutePath() << "Thread:" << QThread::currentThreadId();
    std::vector<const TFileDescription*> lQueued;
    for (const TFileDescription& oFile : lFiles)
        lQueued.push_back(&oFile);
    // A file is hashed by one task from its start to its end: the biggest go first,
    // so that no task is left alone with a big one while the others have run dry.
    std::stable_sort(lQueued.begin(), lQueued.end(), [](const TFileDescription* pLeft, const TFileDescription* pRight) {
        return pLeft->unpackedSize() > pRight->unpackedSize();
    });
    TVerificationQueue oQueue(std::move(lQueued), kReadAhead);
    const auto fnReport = [this](shared::TFileSize nHashed, shared::TFileSize nTotal) {
        emit verificationProgress(nHashed, nTotal);
    };
    const auto fnTask = [&] {
        QString sPath;
        shared::TFileSize nUnreported = 0;
        const TFileDescription* pFile = nullptr;
        const auto fnFail = [&](EFileFault eFault, const QString& sSystemReason = QString()) {
            oQueue.fail(pFile ? TFileFault{pFile->localFile(), eFault, sSystemReason} : TFileFault{});
        };
        try {
            QByteArray aBuffer;
            while ((pFile = oQueue.take())) {
                if (!isSafeRelativePath(pFile->localFile())) {
                    qWarning() << "verification of file" << pFile->localFile() << "failed: not a path inside the folder";
                    fnFail(EFileFault::UnsafePath);
                    return;
                }
                sPath = pFolder->filePath(pFile->localFile());
                shared::TCheckedFile oFile;
                if (!oFile.open(*pFolder, pFile->localFile(), QIODevice::ReadOnly)) {
                    qWarning() << "verification of file" << sPath << "failed:" << oFile.errorString();
                    const bool bMissing = pFolder->status(pFile->localFile()).m_eEntry == shared::TConfinedFolder::EEntry::Missing;
                    fnFail(bMissing ? EFileFault::Missing : EFileFault::Unreadable, oFile.errorString());
                    return;
                }
                oFile.adviseSequential();
                // A program that lost its flag cannot be started: passing it would
                // send the player from Play to verify and back for ever. Only this
                // way round: the scan adds the flag and never takes it away.
                if (pFile->executable() && !oFile.ownerExecutable()) {
                    qWarning() << "verification of file" << sPath << "failed: it is not executable";
                    fnFail(EFileFault::NotExecutable);
                    return;
                }
                if (aBuffer.isEmpty())
                    aBuffer.resize(int(kBlockSize));
                shared::TSha256 oHash;
                for (;;) {
                    // The installation is going: nothing waits for the result.
                    if (m_oInterruption.raised()) {
                        qWarning() << "verification of file" << sPath << "stopped: the installation is going";
                        fnFail(EFileFault::Interrupted);
                        return;
                    }
                    const qint64 nRead = oFile.read(aBuffer.data(), kBlockSize);
                    if (nRead < 0) {
                        qWarning() << "verification of file" << sPath << "failed:" << oFile.errorString();
                        fnFail(EFileFault::Unreadable, oFile.errorString());
                        return;
                    }
                    oHash.addData(aBuffer.constData(), size_t(nRead));
                    nUnreported += shared::TFileSize(nRead);
                    if (nRead == 0)
                        break;
                    if (nUnreported >= kProgressStep) {
                        oQueue.addHashed(nUnreported, fnReport);
                        nUnreported = 0;
                    }
                }
                if (pFile->unpackedHash() != oHash.result()) {
                    qWarning() << "verification of file" << sPath << "failed";
                    fnFail(EFileFault::Differs);
                    return;
                }
                qCInfo(lcInstallSteps) << "verification of file" << sPath << "successfully" << "Thread:" << QThread::currentThreadId();
                // What fails from here on is no fault of this file.
                pFile = nullptr;
            }
            if (nUnreported > 0)
                oQueue.addHashed(nUnreported, fnReport);
        } catch (const std::exception& oError) {
            qWarning() << "verification of files crashed in file:" << sPath << "exception:" << oError.what();
            fnFail(EFileFault::Unreadable, QString::fromLocal8Bit(oError.what()));
        } catch (...) {
            qWarning() << "verification of files crashed in file:" << sPath;
            fnFail(EFileFault::Unreadable, QStringLiteral("an unexpected error"));
        }
    };
    // The files' first bytes asked from the disk while earlier ones are hashed: a
    // cold cache would otherwise leave the processors waiting on each file's first
    // read. Bigger files go on being read ahead by the system as they are hashed.
    const auto fnReadAhead = [&] {
        // Only a hint: what fails here is found by the hashing, or costs time alone.
        try {
            shared::TFileSize nBytes = 0;
            int nCached = 0;
            const auto fnStop = [&] { return nCached == kCachedRun || m_oInterruption.raised(); };
            while (const TFileDescription* pFile = oQueue.nextAhead(nBytes, fnStop)) {
                const bool bCached = isSafeRelativePath(pFile->localFile()) && pFolder->prefetch(pFile->localFile(), nBytes);
                nCached = bCached ? nCached + 1 : 0;
            }
        } catch (...) {
        }
    };
    m_oFileFault = {};
    std::vector<QFuture<void>> lTasks;
    {
        // This thread only waits: its pool slot goes to a task meanwhile. The
        // read-ahead mostly waits on the disk: it takes a slot of its own, so
        // that the hashing has one task a processor.
        TPoolSlotLoan oLoan;
        TPoolSlotLoan oReadAheadLoan;
        lTasks.push_back(QtConcurrent::run(fnReadAhead));
        for (int nTask = 0; nTask < qMax(1, QThread::idealThreadCount()); ++nTask)
            lTasks.push_back(QtConcurrent::run(fnTask));
        for (QFuture<void>& oTask : lTasks)
            oTask.waitForFinished();
    }
    // Read on the GUI thread once this task's future has finished.
    m_oFileFault = oQueue.fault();
    return !oQueue.failed();
}

void TPackageInstallation::onVerifyFinished(bool Result)
{
    qCInfo(lcInstallSteps) << "onVerifyFinished with" << Result << "Thread:" << QThread::currentThreadId();
    m_bSucceeded = Result;
    m_eErrorReason = Result ? NoError : VerificationFailed;
    if (!Result && m_oFileFault.isSet())
        m_sErrorMessage = QStringLiteral("The installed files of %1 do not match their description (\"%2\").")
                              .arg(m_pPackage->name(), m_oFileFault.m_sFile);
    else if (!Result)
        m_sErrorMessage = QStringLiteral("The installed files of %1 do not match their description.").arg(m_pPackage->name());
    else
        m_sErrorMessage.clear();
    emit verificationFinished(m_pPackage);
}

} // namespace velmar::launcher
