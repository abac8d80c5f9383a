// The verification half of a package installation: every file of a
// configuration hashed again and compared with its document.

#include "packageinstallation.h"

#include "installlog.h"

#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "poolslotloan.h"

#include "shared/checkedfile.h"
#include "shared/confinedfolder.h"
#include "shared/sha256.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QMutex>
#include <QThread>
#include <QtConcurrent>

#include <deque>

namespace velmar::launcher {

namespace {

constexpr int kVerificationTasks = 6;
// Small blocks stay in the processor's cache between the read and the hash: about a
// third faster than the 10 MiB the verification may use at most.
constexpr qint64 kBlockSize = qint64(256) << 10;
// Progress is told every few MiB a task has hashed, and when it runs out of
// files: every report is an event for the main thread, made under the tasks'
// shared lock (a report a block, or a file, was thousands of them).
constexpr shared::TFileSize kProgressStep = shared::TFileSize(4) << 20;

struct TVerificationShared
{
    QMutex m_oMutex;
    std::deque<const TFileDescription*> m_lQueue;
    shared::TFileSize m_nHashed = 0;
    shared::TFileSize m_nTotal = 0;
    bool m_bResult = true;
    // The first file found at fault.
    TFileFault m_oFault;
};

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
    TFileInPackageVector lFiles;
    for (const TFileDescription& oFile : pConfiguration->files()) {
        if (bExplicitRequest || !m_lCheckedFiles.contains(oFile.localFile()))
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
    TVerificationShared oShared;
    for (const TFileDescription& oFile : lFiles) {
        oShared.m_lQueue.push_back(&oFile);
        oShared.m_nTotal += oFile.unpackedSize();
    }
    const auto fnTask = [&] {
        QString sPath;
        shared::TFileSize nUnreported = 0;
        // Under the shared lock.
        const auto fnReport = [&] {
            oShared.m_nHashed += nUnreported;
            nUnreported = 0;
            emit verificationProgress(qMin(oShared.m_nHashed, oShared.m_nTotal), oShared.m_nTotal);
        };
        try {
            QByteArray aBuffer;
            for (;;) {
                const TFileDescription* pFile;
                {
                    QMutexLocker oLock(&oShared.m_oMutex);
                    if (oShared.m_lQueue.empty() || !oShared.m_bResult) {
                        if (nUnreported > 0 && oShared.m_bResult)
                            fnReport();
                        return;
                    }
                    pFile = oShared.m_lQueue.front();
                    oShared.m_lQueue.pop_front();
                }
                const auto fnFail = [&](EFileFault eFault = EFileFault::None, const QString& sSystemReason = QString()) {
                    QMutexLocker oLock(&oShared.m_oMutex);
                    oShared.m_bResult = false;
                    if (eFault != EFileFault::None && !oShared.m_oFault.isSet())
                        oShared.m_oFault = {pFile->localFile(), eFault, sSystemReason};
                };
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
                // A program that lost its flag cannot be started: passing it would
                // send the player from Play to verify and back for ever. Only this
                // way round: the scan adds the flag and never takes it away.
                if (pFile->executable() && !pFolder->status(pFile->localFile()).m_bOwnerExecutable) {
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
                        QMutexLocker oLock(&oShared.m_oMutex);
                        fnReport();
                    }
                }
                if (pFile->unpackedHash() != oHash.result()) {
                    qWarning() << "verification of file" << sPath << "failed";
                    fnFail(EFileFault::Differs);
                    return;
                }
                qCInfo(lcInstallSteps) << "verification of file" << sPath << "successfully" << "Thread:" << QThread::currentThreadId();
            }
        } catch (const std::exception& oError) {
            qWarning() << "verification of files crashed in file:" << sPath << "exception:" << oError.what();
        } catch (...) {
            qWarning() << "verification of files crashed";
        }
        QMutexLocker oLock(&oShared.m_oMutex);
        oShared.m_bResult = false;
    };
    m_oFileFault = {};
    std::vector<QFuture<void>> lTasks;
    for (int nTask = 0; nTask < kVerificationTasks; ++nTask)
        lTasks.push_back(QtConcurrent::run(fnTask));
    {
        // This thread only waits: its pool slot goes to a task meanwhile.
        TPoolSlotLoan oLoan;
        for (QFuture<void>& oTask : lTasks)
            oTask.waitForFinished();
    }
    // Read on the GUI thread once this task's future has finished.
    m_oFileFault = oShared.m_oFault;
    return oShared.m_bResult;
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
