#include "packageinstallation.h"

#include "crashpoint.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "packagefiledownloader.h"
#include "partialchunks.h"

#include "shared/confinedfolder.h"
#include "shared/downloadpool.h"
#include "shared/qnetworkaccessmanagerwrapper.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <utility>

namespace velmar::launcher {

namespace {

bool listedIn(const std::vector<TFileDescription>& lSortedFiles, const QString& sLocalFile)
{
    const auto it = std::lower_bound(lSortedFiles.begin(), lSortedFiles.end(), sLocalFile,
                                     [](const TFileDescription& oFile, const QString& sName) { return oFile.localFile() < sName; });
    return it != lSortedFiles.end() && it->localFile() == sLocalFile;
}

} // namespace

TPackageInstallation::TPackageInstallation(std::shared_ptr<TPackage> pPackage,
                                           std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper)
    : m_pPackage(std::move(pPackage))
    , m_pFilesystemHelper(std::move(pFilesystemHelper))
    , m_oInstallationFolder(QDir::current())
{
    qRegisterMetaType<TPackageDifference>();
    qRegisterMetaType<shared::TFileSize>("shared::TFileSize");
    const std::shared_ptr<const TLauncherSettings>& pSettings = m_pFilesystemHelper->settings();
    m_pDownloadPool = std::make_shared<shared::TDownloadPool>(
        std::max(1, pSettings->maxConcurrentDownloads()),
        std::make_shared<shared::QNetworkAccessManagerWrapper>(), nullptr, false);
    // A transfer that stalls or crawls is a failed attempt, not an installation that never ends.
    m_pDownloadPool->setStallLimits(pSettings->stallTimeout(), pSettings->minimumTransferRate());
    m_pDownloadPool->setBandwidthLimiter(m_pFilesystemHelper->bandwidthLimiter());
    m_pDownloader = new TPackageFileDownloader(m_pDownloadPool, m_pFilesystemHelper);
    if (const TPackageBuild* pBuild = m_pPackage->platformBuild())
        m_pDownloader->setMirrors(pBuild->mirrors());
    connect(m_pDownloader, &TPackageFileDownloader::downloadCompleted, this, &TPackageInstallation::onDownloadCompleted);
    connect(m_pDownloader, &TPackageFileDownloader::downloadFailed, this, &TPackageInstallation::onDownloadFailed);
    connect(m_pDownloader, &TPackageFileDownloader::retryWaiting, this, &TPackageInstallation::retryWaiting);

    qRegisterMetaType<EInstallationStep>("velmar::launcher::EInstallationStep");
    const auto reportStep = [this](EInstallationStep eStep) {
        return [this, eStep](shared::TFileSize nDone, shared::TFileSize nTotal) { emit progress(eStep, nDone, nTotal, 0); };
    };
    // Direct: the scan and the verification report from their pool threads.
    connect(this, &TPackageInstallation::scanProgress, this, reportStep(EInstallationStep::Scanning), Qt::DirectConnection);
    connect(this, &TPackageInstallation::writeProgress, this, reportStep(EInstallationStep::Writing), Qt::DirectConnection);
    connect(this, &TPackageInstallation::verificationProgress, this, reportStep(EInstallationStep::Verifying),
            Qt::DirectConnection);
    // All is downloaded once the rest is writing. The download step ends at its
    // total before the writing shows, however fast the answers came: a listener
    // never sees a download left short of its end.
    connect(m_pDownloader, &TPackageFileDownloader::progress, this,
            [this, bDownloadEnded = false](shared::TFileSize nDownloaded, shared::TFileSize nToDownload,
                                           shared::TFileSize nWritten, shared::TFileSize nToWrite) mutable {
                if (nDownloaded >= nToDownload) {
                    if (!bDownloadEnded && nToDownload > 0)
                        emit progress(EInstallationStep::Downloading, nToDownload, nToDownload, m_pDownloader->bytesPerSecond());
                    bDownloadEnded = true;
                    emit progress(EInstallationStep::Writing, nWritten, nToWrite, 0);
                } else {
                    emit progress(EInstallationStep::Downloading, nDownloaded, nToDownload, m_pDownloader->bytesPerSecond());
                }
            });
}

TPackageInstallation::~TPackageInstallation()
{
    m_oInterruption.raise();
    for (QFuture<void>& oTask : m_lTasks)
        oTask.waitForFinished();
    // Now, not when the downloader goes: a program that ends its event loop
    // never runs the deletion.
    m_pDownloader->abandon();
    m_pDownloader->deleteLater();
}

void TPackageInstallation::setVersionLabels(const QString& sInstalled, const QString& sTarget)
{
    m_sInstalledVersionLabel = sInstalled;
    m_sTargetVersionLabel = sTarget;
}

void TPackageInstallation::startInstallOrUpdate(std::shared_ptr<const TPackageConfigurationReader> pTarget,
                                                std::shared_ptr<const TPackageConfigurationReader> pInstalled,
                                                bool bTrustInstalledDescription)
{
    // Handed over by pointer: a result is copied out of its future, and the
    // files of a client of a hundred thousand are worth a second of copying.
    using TResult = std::shared_ptr<TPackageDifference>;
    auto* pWatcher = new QFutureWatcher<TResult>(this);
    connect(pWatcher, &QFutureWatcher<TResult>::finished, this, [this, pWatcher] {
        pWatcher->deleteLater();
        onRequiredChangesComputedForInstallation(std::move(*pWatcher->result()));
    });
    workFolder();
    const QFuture<TResult> oFuture
        = QtConcurrent::run(this, &TPackageInstallation::computeRequiredChanges, m_oInstallationFolder, m_pFilesystemHelper,
                            std::move(pTarget), std::move(pInstalled), bTrustInstalledDescription);
    m_lTasks.push_back(oFuture);
    pWatcher->setFuture(oFuture);
}

std::shared_ptr<TPackageDifference> TPackageInstallation::computeRequiredChanges(
    QDir oFolder, std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
    std::shared_ptr<const TPackageConfigurationReader> pTarget,
    std::shared_ptr<const TPackageConfigurationReader> pInstalled, bool bTrustInstalledDescription)
{
    const auto pDifference = std::make_shared<TPackageDifference>();
    TPackageDifference& oDifference = *pDifference;
    try {
        const TLauncherSettings& oSettings = *pFilesystemHelper->settings();
        const QStringList lReserved = reservedFileNames(oSettings);
        // pTarget's own paths were checked before the request began; what the
        // installed description lists is checked here, before it is deleted.
        const QStringList lOwnData = m_nInstallationMode == kLauncherUpdatingItself ? pFilesystemHelper->launcherOwnData() : QStringList();
        for (const TFileDescription& oInstalled : pInstalled->files()) {
            if (listedIn(pTarget->files(), oInstalled.localFile()))
                continue;
            if (!isSafeRelativePath(oInstalled.localFile()) || isReservedPath(oInstalled.localFile(), lReserved)
                || isLauncherOwnData(oInstalled.localFile(), lOwnData)
                || !pathProblem(oFolder.absolutePath(), oInstalled.localFile()).isEmpty()) {
                qWarning() << "Not deleting" << oInstalled.localFile() << ": it is not a path inside the package folder";
                continue;
            }
            oDifference.m_lFilesToDelete.push_back(oInstalled);
        }
        // The folder the request holds; a caller without one gets its own.
        const auto pFolder = m_pFolder ? m_pFolder : std::make_shared<shared::TConfinedFolder>(oFolder.absolutePath());
        computeFilesToDownload(*pFolder, pTarget, bTrustInstalledDescription ? pInstalled.get() : nullptr, oDifference);
    } catch (const std::exception& oError) {
        qWarning() << "computeRequiredChanges failed:" << oError.what();
        oDifference.m_sDiskError = QString::fromUtf8(oError.what());
    } catch (...) {
        qWarning() << "computeRequiredChanges failed";
        oDifference.m_sDiskError = QStringLiteral("Examining the installed files failed.");
    }
    return pDifference;
}

void TPackageInstallation::onRequiredChangesComputedForInstallation(TPackageDifference Changes)
{
    crashPoint("scan-done");
    if (!Changes.m_sDiskError.isEmpty()) {
        emit diskAccessFailed(Changes.m_sDiskError);
        return;
    }
    if (!Changes.m_sError.isEmpty()) {
        qCritical() << "The installation of" << m_pPackage->name() << "cannot go on:" << Changes.m_sError;
        failStep(InvalidPackage, Changes.m_sError);
        emit downloadFinished(m_pPackage);
        return;
    }
    qInfo() << "onRequiredChangesComputedForInstallation files to download:" << Changes.m_lFilesToDownload.size()
            << "files to delete:" << Changes.m_lFilesToDelete.size() << "Thread:" << QThread::currentThreadId();
    m_lFilesToDownload = std::move(Changes.m_lFilesToDownload);
    m_lFilesToDelete = std::move(Changes.m_lFilesToDelete);
    m_lCheckedFiles = QSet<QString>(Changes.m_lCheckedFiles.begin(), Changes.m_lCheckedFiles.end());
    try {
        qInfo() << "startDownload:" << m_pPackage->name() << "Thread:" << QThread::currentThreadId();
        workFolder();
        deleteFiles();
        crashPoint("files-deleted");
        if (m_lFilesToDownload.empty()) {
            onDownloadCompleted();
            return;
        }
        m_pDownloader->setTargetFolder(m_pFolder);
        m_pDownloader->setInstallationMode(m_nInstallationMode);
        handOverFilesToDownload();
        m_pDownloader->startDownload();
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
    }
}

void TPackageInstallation::handOverFilesToDownload()
{
    // Only a file that keeps bytes from the disk can come back to be rechecked:
    // a copy of each stays here, and the downloader takes the files themselves.
    // A fresh install keeps none.
    std::vector<TFileToDownload> lRecheckable;
    for (const TFileToDownload& oFile : m_lFilesToDownload) {
        if (oFile.keepsBytes())
            lRecheckable.push_back(oFile);
    }
    m_pDownloader->setFilesToDownload(std::exchange(m_lFilesToDownload, std::move(lRecheckable)));
}

const std::shared_ptr<shared::TConfinedFolder>& TPackageInstallation::workFolder()
{
    if (!m_pFolder)
        m_pFolder = std::make_shared<shared::TConfinedFolder>(m_oInstallationFolder.absolutePath());
    return m_pFolder;
}

void TPackageInstallation::deleteFiles()
{
    // Every path here was checked to be a plain path inside the folder.
    for (const TFileDescription& oFile : m_lFilesToDelete) {
        const QString& sPath = oFile.localFile();
        try {
            m_pFolder->removePath(sPath);
        } catch (const std::runtime_error&) {
            if (m_nInstallationMode != kLauncherUpdatingItself)
                throw;
            const QString sOld = sPath + QLatin1String(".old");
            m_pFolder->removePath(sOld);
            m_pFolder->rename(sPath, sOld);
        }
    }
}

void TPackageInstallation::failStep(EPackageDownloaderError eReason, const QString& sMessage)
{
    m_bSucceeded = false;
    m_eErrorReason = eReason;
    m_sErrorMessage = sMessage;
}

void TPackageInstallation::refuse(const QString& sReason, EPackageDownloaderError eReason)
{
    qCritical() << "The installation of" << m_pPackage->name() << "was refused:" << sReason;
    failStep(eReason, sReason);
}

bool TPackageInstallation::pause()
{
    if (m_pDownloader->isPaused())
        return true;
    if (!m_pDownloader->pause())
        return false;
    qInfo().noquote() << QStringLiteral("The installation of %1 paused: %2 chunks left to fetch.")
                             .arg(m_pPackage->name())
                             .arg(m_pDownloader->chunksLeftToFetch());
    emit pausedChanged(true);
    return true;
}

void TPackageInstallation::resume()
{
    if (!m_pDownloader->isPaused())
        return;
    qInfo().noquote() << QStringLiteral("The installation of %1 resumed.").arg(m_pPackage->name());
    m_pDownloader->resume();
    emit pausedChanged(false);
}

bool TPackageInstallation::isPaused() const
{
    return m_pDownloader->isPaused();
}

void TPackageInstallation::onDownloadCompleted()
{
    for (const QString& sFile : m_pDownloader->completedFiles())
        m_lCheckedFiles.insert(sFile);
    const std::vector<QString> lRecheck = m_pDownloader->filesToRecheck();
    if (!lRecheck.empty()) {
        startRecheck(lRecheck);
        return;
    }
    qInfo() << "onDownloadCompleted" << m_pPackage->name() << "Thread:" << QThread::currentThreadId();
    // Every chunk is in place: no kept bytes are of use any more.
    TPartialChunks(m_pFolder).dropAll();
    m_bSucceeded = true;
    m_eErrorReason = NoError;
    m_sErrorMessage.clear();
    emit downloadFinished(m_pPackage);
}

void TPackageInstallation::onDownloadFailed(EPackageDownloaderError ErrorReason)
{
    qInfo() << "onDownloadFailed" << m_pPackage->name() << int(ErrorReason) << "Thread:" << QThread::currentThreadId();
    failStep(ErrorReason, m_pDownloader->errorMessage());
    emit downloadFinished(m_pPackage);
}

} // namespace velmar::launcher
