#pragma once

#include "filefault.h"
#include "interruption.h"
#include "installationmode.h"
#include "packagedifference.h"
#include "packagedownloadererror.h"

#include "shared/filesize.h"

#include <QDir>
#include <QFuture>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace shared {
class QNetworkAccessManagerWrapper;
class TConfinedFolder;
class TDownloadPool;
}

namespace velmar::launcher {

class TLauncherFilesystemHelper;
class TPackage;
class TPackageConfigurationReader;
class TPackageFileDownloader;

using TFileInPackageVector = std::vector<TFileDescription>;

// The steps of an installation that report progress, in the order they come.
enum class EInstallationStep { Scanning, Downloading, Writing, Verifying };

// One install, update or verification of one package: computes the difference
// between the folder and the configuration being installed (reusing whole files
// and single chunks found on disk), deletes what the new configuration no longer
// has, has the downloader fetch and write the rest, and verifies the result.
// Created and driven by TInstallationManager.
class TPackageInstallation : public QObject
{
    Q_OBJECT

public:
    TPackageInstallation(std::shared_ptr<TPackage> pPackage, std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper);
    // Interrupts the installation's own pool tasks, which use it (a scan or a
    // verification stops after the block it is reading), and waits for them.
    ~TPackageInstallation() override;

    const std::shared_ptr<TPackage>& package() const { return m_pPackage; }
    TPackageFileDownloader* downloader() const { return m_pDownloader; }
    bool succeeded() const { return m_bSucceeded; }
    EPackageDownloaderError errorReason() const { return m_eErrorReason; }
    // The reason in words when the step failed for a reason worth telling (a
    // refused document, a file built wrong); empty otherwise.
    const QString& errorMessage() const { return m_sErrorMessage; }
    // The first file a verification found at fault; none when it passed or
    // failed for another reason.
    const TFileFault& fileFault() const { return m_oFileFault; }
    // The number of files an explicit verification checked; -1 for a request
    // that was none.
    int verifiedFiles() const { return m_nVerifiedFiles; }
    const QString& installedVersionLabel() const { return m_sInstalledVersionLabel; }
    const QString& targetVersionLabel() const { return m_sTargetVersionLabel; }
    void setVersionLabels(const QString& sInstalled, const QString& sTarget);
    const QDir& installationFolder() const { return m_oInstallationFolder; }
    void setInstallationFolder(const QDir& oFolder) { m_oInstallationFolder = oFolder; }
    int installationMode() const { return m_nInstallationMode; }
    void setInstallationMode(int nMode) { m_nInstallationMode = nMode; }
    // The installation folder, held (and locked against other programs) for
    // the request; every file below it is reached through it.
    const std::shared_ptr<shared::TConfinedFolder>& folder() const { return m_pFolder; }
    void setFolder(std::shared_ptr<shared::TConfinedFolder> pFolder) { m_pFolder = std::move(pFolder); }
    // See TInstallationManager::setLocalMediaAllowed().
    void setLocalMediaAllowed(bool bAllowed) { m_bLocalMediaAllowed = bAllowed; }
    // The configuration this request brings the folder to: the package's current
    // one for an install, the installed one for a verification.
    const std::shared_ptr<const TPackageConfigurationReader>& configuration() const { return m_pConfiguration; }
    void setConfiguration(std::shared_ptr<const TPackageConfigurationReader> pConfiguration)
    {
        m_pConfiguration = std::move(pConfiguration);
    }

    // Runs on a pool thread; every argument is the task's own. Never throws: a
    // failure comes back as the difference's error.
    std::shared_ptr<TPackageDifference> computeRequiredChanges(QDir oFolder,
                                                               std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                                               std::shared_ptr<const TPackageConfigurationReader> pTarget,
                                                               std::shared_ptr<const TPackageConfigurationReader> pInstalled,
                                                               bool bTrustInstalledDescription);
    // Starts computeRequiredChanges on the global pool and applies its result.
    // pTarget must have passed installProblem() and launcherOwnDataProblem() for
    // this folder, as TInstallationManager checks before anything is written.
    void startInstallOrUpdate(std::shared_ptr<const TPackageConfigurationReader> pTarget,
                              std::shared_ptr<const TPackageConfigurationReader> pInstalled, bool bTrustInstalledDescription);
    // Hashes every file of the configuration, unless the request is not explicit
    // and the settings skip verification.
    void startVerification(std::shared_ptr<const TPackageConfigurationReader> pConfiguration, bool bExplicitRequest);
    // Runs on a pool thread; never throws.
    bool VerifyPackage(QDir oFolder, std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                       TFileInPackageVector lFiles);
    // Pauses the download step: every transfer stops at once and none starts
    // until resume(); what is fetched and written stays, and the request still
    // runs (it holds its folder, and the manager waits for it). False when there
    // is nothing to fetch (before or after the download step, or its last
    // chunks already in hand).
    bool pause();
    void resume();
    bool isPaused() const;
    // Ends the installation at once as failed, before anything was changed.
    void refuse(const QString& sReason, EPackageDownloaderError eReason = InvalidPackage);

signals:
    void scanProgress(shared::TFileSize BytesDownloaded, shared::TFileSize BytesTotal);
    void writeProgress(shared::TFileSize BytesDownloaded, shared::TFileSize BytesTotal);
    void verificationProgress(shared::TFileSize BytesDownloaded, shared::TFileSize BytesTotal);
    // Every step's progress in one report, beside the signals above: the bytes
    // done and in all of the step and, while downloading, the rate in bytes per
    // second. Emitted on the thread that does the step.
    void progress(velmar::launcher::EInstallationStep Step, shared::TFileSize Done, shared::TFileSize Total,
                  shared::TFileSize BytesPerSecond);
    // The downloader's TPackageFileDownloader::retryWaiting.
    void retryWaiting(int Attempt, int Attempts);
    void downloadFinished(std::shared_ptr<velmar::launcher::TPackage> PackageBeingInstalled);
    void verificationFinished(std::shared_ptr<velmar::launcher::TPackage> PackageBeingInstalled);
    void diskAccessFailed(QString Message);
    void pausedChanged(bool Paused);

private slots:
    void onDownloadCompleted();
    void onDownloadFailed(velmar::launcher::EPackageDownloaderError ErrorReason);
    void onRequiredChangesComputedForInstallation(velmar::launcher::TPackageDifference Changes);
    void onVerifyFinished(bool Result);

private:
    void computeFilesToDownload(const shared::TConfinedFolder& oFolder,
                                const std::shared_ptr<const TPackageConfigurationReader>& pTarget,
                                const TPackageConfigurationReader* pInstalled, TPackageDifference& oDifference);
    // Files the downloader built with bytes kept from the disk that failed their
    // check: each is rechecked chunk by chunk on the pool and what is missing is
    // fetched in a second round (packagerecheck.cpp).
    void startRecheck(const std::vector<QString>& lLocalFiles);
    void onRecheckDone(TPackageDifference oResult);
    // Gives m_lFilesToDownload to the downloader, keeping only those that may
    // need a recheck.
    void handOverFilesToDownload();
    void deleteFiles();
    // The folder this request works in: the one the manager gave it, or, for a
    // request started without one, the installation folder opened here (GUI
    // thread only, before any pool task of the request starts).
    const std::shared_ptr<shared::TConfinedFolder>& workFolder();
    void failStep(EPackageDownloaderError eReason, const QString& sMessage);

    std::shared_ptr<TPackage> m_pPackage;
    std::shared_ptr<shared::TDownloadPool> m_pDownloadPool;
    TPackageFileDownloader* m_pDownloader;
    std::shared_ptr<TLauncherFilesystemHelper> m_pFilesystemHelper;
    bool m_bSucceeded = false;
    EPackageDownloaderError m_eErrorReason = NoError;
    QString m_sErrorMessage;
    TFileFault m_oFileFault;
    int m_nVerifiedFiles = -1;
    int m_nInstallationMode = kOrdinaryPackage;
    bool m_bLocalMediaAllowed = false;
    QString m_sInstalledVersionLabel;
    QString m_sTargetVersionLabel;
    QDir m_oInstallationFolder;
    std::shared_ptr<shared::TConfinedFolder> m_pFolder;
    std::shared_ptr<const TPackageConfigurationReader> m_pConfiguration;
    std::vector<TFileDescription> m_lFilesToDelete;
    // Handed to the downloader; afterwards only those a recheck may need.
    std::vector<TFileToDownload> m_lFilesToDownload;
    // Files this request has already hashed whole (found sound, or written and
    // checked): the verification that follows an install need not read them again.
    QSet<QString> m_lCheckedFiles;
    // A second download round mends what a first one built on damaged kept bytes; there is no third.
    bool m_bRechecked = false;
    TInterruption m_oInterruption;
    std::vector<QFuture<void>> m_lTasks;
};

} // namespace velmar::launcher
