#include "installationmanager.h"

#include "crashpoint.h"
#include "funneleventsink.h"
#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "packageinstallation.h"
#include "spacecheck.h"

#include "shared/checkedfileio.h"
#include "shared/confinedfolder.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

#include <algorithm>

namespace velmar::launcher {

namespace {

const QString kDefaultMarker = QStringLiteral("default");

// For a fully installed folder: whether its version is not the current one. An
// asset version of "1" always asks for an update.
bool updateNeeded(const TPackageConfigurationReader& oCurrent, const TPackageConfigurationReader& oInstalled)
{
    return oInstalled.versionLabel() != oCurrent.versionLabel() || oCurrent.assetVersion() == QLatin1String("1");
}

} // namespace

TInstallationManager::TInstallationManager(std::shared_ptr<TLauncherConfigurationReader> pLauncherMetadata,
                                           std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper)
    : m_pLauncherMetadata(std::move(pLauncherMetadata)), m_pLauncherFilesystemHelper(std::move(pFilesystemHelper))
{
    qRegisterMetaType<std::shared_ptr<TPackageInstallation>>("std::shared_ptr<velmar::launcher::TPackageInstallation>");
    qRegisterMetaType<std::shared_ptr<TPackage>>("std::shared_ptr<velmar::launcher::TPackage>");
    if (m_pLauncherMetadata) {
        try {
            updateStatusesAndFindDefault();
        } catch (const std::exception& oError) {
            qCritical() << "Reading the installed packages failed:" << oError.what();
        }
    }
}

TInstallationManager::~TInstallationManager() = default;

QDir TInstallationManager::installationFolder(const TPackage& oPackage)
{
    if (oPackage.index() == TPackage::kLauncherIndex)
        return QDir(m_pLauncherFilesystemHelper->launcherFolder());
    return QDir(m_pLauncherFilesystemHelper->pathInsideFolder(m_pLauncherFilesystemHelper->packagesFolder(),
                                                                oPackage.directoryName()));
}

QString TInstallationManager::packageFolderProblem(const TPackage& oPackage)
{
    if (oPackage.index() == TPackage::kLauncherIndex)
        return QString();
    const QString sProblem = folderNameProblem(oPackage.directoryName());
    if (!sProblem.isEmpty() || !m_pLauncherMetadata)
        return sProblem;
    for (const std::shared_ptr<TPackage>& pOther : m_pLauncherMetadata->packages()) {
        if (pOther.get() != &oPackage && pOther->name() != oPackage.name()
            && pOther->directoryName() == oPackage.directoryName())
            return QStringLiteral("The packages \"%1\" and \"%2\" share the folder \"%3\".")
                .arg(oPackage.name(), pOther->name(), oPackage.directoryName());
    }
    return QString();
}

QString TInstallationManager::executablePath(const TPackage& oPackage)
{
    const auto pConfiguration = oPackage.platformConfiguration();
    if (!pConfiguration || pConfiguration->executable().isEmpty())
        return QString();
    return m_pLauncherFilesystemHelper->pathInsideFolder(installationFolder(oPackage), pConfiguration->executable());
}

std::shared_ptr<TPackage> TInstallationManager::packageForExecutable(const QString& sPath)
{
    if (!m_pLauncherMetadata)
        return nullptr;
    const QString sWanted = QDir::cleanPath(sPath);
    for (const std::shared_ptr<TPackage>& pPackage : m_pLauncherMetadata->packages()) {
        const QString sExecutable = executablePath(*pPackage);
        if (!sExecutable.isEmpty() && QDir::cleanPath(sExecutable) == sWanted)
            return pPackage;
    }
    return nullptr;
}

QPair<QString, QString> TInstallationManager::markerPaths(const QDir& oFolder)
{
    const TLauncherSettings& oSettings = *m_pLauncherFilesystemHelper->settings();
    return {m_pLauncherFilesystemHelper->pathInsideFolder(oFolder, oSettings.partialPackageFile()),
            m_pLauncherFilesystemHelper->pathInsideFolder(oFolder, oSettings.packageFile())};
}

ELocalPackageStatus TInstallationManager::localPackageStatus(const TPackage& oPackage)
{
    const auto pCurrent = oPackage.platformConfiguration();
    if (!pCurrent)
        return NotInstalled;
    const QDir oFolder = installationFolder(oPackage);
    const QPair<QString, QString> oMarkers = markerPaths(oFolder);
    if (!m_pLauncherFilesystemHelper->fileExists(oMarkers.second))
        return m_pLauncherFilesystemHelper->fileExists(oMarkers.first) ? PartiallyInstalled : NotInstalled;
    return updateNeeded(*pCurrent, *readPackageConfigurationFromInstallationDirectory(oFolder)) ? UpdateAvailable : UpToDate;
}

bool TInstallationManager::hasInstallation(const TPackage& oPackage)
{
    const QPair<QString, QString> oMarkers = markerPaths(installationFolder(oPackage));
    return m_pLauncherFilesystemHelper->fileExists(oMarkers.second) || m_pLauncherFilesystemHelper->fileExists(oMarkers.first);
}

std::shared_ptr<TPackageConfigurationReader>
TInstallationManager::readPackageConfigurationFromInstallationDirectory(const QDir& oFolder)
{
    const TLauncherSettings& oSettings = *m_pLauncherFilesystemHelper->settings();
    qInfo() << "readPackageConfigurationFromInstallationDirectory m_pLauncherFilesystemHelper:"
            << m_pLauncherFilesystemHelper.get() << "launcherSettings:" << &oSettings
            << "installedPackageMarker:" << oSettings.packageFile()
            << "partiallyInstalledPackageMarker:" << oSettings.partialPackageFile()
            << "Thread:" << QThread::currentThreadId();
    const QPair<QString, QString> oMarkers = markerPaths(oFolder);
    const QString sAssets = assetCopyPath(oFolder);
    const QUrl oBase = QUrl::fromLocalFile(oFolder.absolutePath() + QLatin1Char('/'));
    QString sMarker;
    if (m_pLauncherFilesystemHelper->fileExists(oMarkers.second)) {
        qInfo() << "FullInstallationMarker" << oMarkers.second << sAssets << "Thread:" << QThread::currentThreadId();
        sMarker = oMarkers.second;
    } else if (m_pLauncherFilesystemHelper->fileExists(oMarkers.first)) {
        qInfo() << "PartialInstallationMarker" << oMarkers.first << sAssets << "Thread:" << QThread::currentThreadId();
        sMarker = oMarkers.first;
    } else {
        return std::make_shared<TPackageConfigurationReader>(QByteArray(), QByteArray(), oBase, oBase);
    }
    return std::make_shared<TPackageConfigurationReader>(m_pLauncherFilesystemHelper->readFileIfExists(sMarker),
                                                         m_pLauncherFilesystemHelper->readFileIfExists(sAssets), oBase, oBase);
}

std::shared_ptr<shared::TConfinedFolder> TInstallationManager::folderOf(const TPackage& oPackage)
{
    // A running request's folder is the one it holds; otherwise the folder is opened for the step.
    if (const auto pInstallation = runningInstallation(oPackage.name()); pInstallation && pInstallation->folder())
        return pInstallation->folder();
    return std::make_shared<shared::TConfinedFolder>(installationFolder(oPackage).absolutePath());
}

QPair<QString, QString> TInstallationManager::markerNames(const shared::TConfinedFolder& oFolder)
{
    const QDir oDirectory(oFolder.path());
    const QPair<QString, QString> oPaths = markerPaths(oDirectory);
    return {oDirectory.relativeFilePath(oPaths.first), oDirectory.relativeFilePath(oPaths.second)};
}

QString TInstallationManager::assetCopyPath(const QDir& oFolder)
{
    return m_pLauncherFilesystemHelper->pathInsideFolder(oFolder, m_pLauncherFilesystemHelper->settings()->assetFile());
}

namespace {

bool exists(const shared::TConfinedFolder& oFolder, const QString& sRelative)
{
    return oFolder.status(sRelative).m_eEntry != shared::TConfinedFolder::EEntry::Missing;
}

void moveMarker(const shared::TConfinedFolder& oFolder, const QString& sFrom, const QString& sTo)
{
    oFolder.removePath(sTo);
    oFolder.rename(sFrom, sTo);
}

// What a request brings the folder to: the published version, or for a
// verification without a published document, what is installed.
QString targetLabel(const TPackage& oPackage, const QString& sInstalledLabel)
{
    const auto pPublished = oPackage.platformConfiguration();
    return pPublished ? pPublished->versionLabel() : sInstalledLabel;
}

} // namespace

void TInstallationManager::writeAssetCopy(const shared::TConfinedFolder& oFolder, const QByteArray& aAssetDocument)
{
    const QString sAssets = QDir(oFolder.path()).relativeFilePath(assetCopyPath(QDir(oFolder.path())));
    // A copy left from a version with assets would describe files this one lacks.
    if (aAssetDocument.isEmpty())
        oFolder.removePath(sAssets);
    else if (!shared::fileHolds(oFolder, sAssets, aAssetDocument))
        shared::replaceFile(oFolder, sAssets, aAssetDocument);
}

void TInstallationManager::markPackageAsPartiallyInstalled(TPackage& oPackage, const QByteArray& aPackageDocument,
                                                           const QByteArray& aAssetDocument)
{
    qInfo() << "markPackageAsPartiallyInstalled:" << oPackage.name() << "Thread:" << QThread::currentThreadId();
    const auto pFolder = folderOf(oPackage);
    const QPair<QString, QString> oMarkers = markerNames(*pFolder);
    if (exists(*pFolder, oMarkers.second)) {
        // The installed document stays the record, with the asset copy that belongs to it.
        moveMarker(*pFolder, oMarkers.second, oMarkers.first);
    } else if (!exists(*pFolder, oMarkers.first)) {
        // The asset copy first: until the marker exists, the folder claims nothing.
        writeAssetCopy(*pFolder, aAssetDocument);
        shared::replaceFile(*pFolder, oMarkers.first, aPackageDocument);
    }
    setStatus(oPackage, PartiallyInstalled);
}

void TInstallationManager::updatePartiallyInstalledPackage(TPackage& oPackage, const QByteArray& aPackageDocument,
                                                           const QByteArray& aAssetDocument)
{
    qInfo() << "updatePartiallyInstalledPackage:" << oPackage.name() << "Thread:" << QThread::currentThreadId();
    const auto pFolder = folderOf(oPackage);
    const QPair<QString, QString> oMarkers = markerNames(*pFolder);
    // The files must be on the disk before a marker names their version.
    pFolder->syncFileSystem();
    if (exists(*pFolder, oMarkers.second))
        moveMarker(*pFolder, oMarkers.second, oMarkers.first);
    const QString sAssets = QDir(pFolder->path()).relativeFilePath(assetCopyPath(QDir(pFolder->path())));
    if (!shared::fileHolds(*pFolder, oMarkers.first, aPackageDocument)
        || !shared::fileHolds(*pFolder, sAssets, aAssetDocument)) {
        // Two files cannot change in one step: the marker goes while the asset
        // copy changes, so that no instant pairs documents of two versions.
        pFolder->removePath(oMarkers.first);
        writeAssetCopy(*pFolder, aAssetDocument);
        shared::replaceFile(*pFolder, oMarkers.first, aPackageDocument);
    }
    setStatus(oPackage, PartiallyInstalled);
}

void TInstallationManager::markPackageAsFullyInstalled(TPackage& oPackage, const QByteArray& aPackageDocument,
                                                       const QByteArray& aAssetDocument)
{
    qInfo() << "markPackageAsFullyInstalled:" << oPackage.name() << "Thread:" << QThread::currentThreadId();
    const auto pFolder = folderOf(oPackage);
    const QPair<QString, QString> oMarkers = markerNames(*pFolder);
    pFolder->syncFileSystem();
    const QString sAssets = QDir(pFolder->path()).relativeFilePath(assetCopyPath(QDir(pFolder->path())));
    if (!shared::fileHolds(*pFolder, sAssets, aAssetDocument)) {
        pFolder->removePath(oMarkers.first);
        writeAssetCopy(*pFolder, aAssetDocument);
    }
    // The partial marker mostly holds the document already, flushed by the sync
    // above: renaming it makes the full marker in one step, where writing and
    // flushing tens of MiB again took most of a second. Otherwise the document
    // is written whole through a temporary file and flushed before the rename,
    // so the full marker exists before the partial one goes.
    if (shared::fileHolds(*pFolder, oMarkers.first, aPackageDocument))
        pFolder->rename(oMarkers.first, oMarkers.second);
    else
        shared::replaceFile(*pFolder, oMarkers.second, aPackageDocument);
    pFolder->syncFileSystem();
    crashPoint("full-marker-written");
    pFolder->removePath(oMarkers.first);
    setStatus(oPackage, UpToDate);
}

void TInstallationManager::setStatus(TPackage& oPackage, ELocalPackageStatus eStatus)
{
    if (oPackage.localPackageStatus() != eStatus)
        oPackage.setLocalPackageStatus(eStatus);
}

std::shared_ptr<TPackageInstallation> TInstallationManager::runningInstallation(const QString& sName) const
{
    const auto it = std::find_if(m_lInstallations.begin(), m_lInstallations.end(),
                                 [&](const auto& pInstallation) { return pInstallation->package()->name() == sName; });
    return it == m_lInstallations.end() ? nullptr : *it;
}

bool TInstallationManager::isInstalling(const TPackage& oPackage) const
{
    return runningInstallation(oPackage.name()) != nullptr;
}

std::shared_ptr<TPackageInstallation> TInstallationManager::startInstallation(const std::shared_ptr<TPackage>& pPackage,
                                                                              const QString& sInstalledLabel,
                                                                              const QString& sTargetLabel)
{
    // Whatever this request finds, the package is no longer known sound until it ends well.
    pPackage->setUpToDate(false);
    auto pInstallation = std::make_shared<TPackageInstallation>(pPackage, m_pLauncherFilesystemHelper);
    pInstallation->setInstallationFolder(installationFolder(*pPackage));
    pInstallation->setVersionLabels(sInstalledLabel, sTargetLabel);
    pInstallation->setInstallationMode(m_nInstallationMode);
    pInstallation->setLocalMediaAllowed(m_bLocalMediaAllowed);
    connect(pInstallation.get(), &TPackageInstallation::verificationFinished, this,
            &TInstallationManager::onVerificationFinished);
    m_lInstallations.push_back(pInstallation);
    connect(pInstallation.get(), &TPackageInstallation::diskAccessFailed, this, &TInstallationManager::onDiskAccessFailed);
    return pInstallation;
}

std::shared_ptr<shared::TConfinedFolder> TInstallationManager::lockFolder(const TPackage& oPackage)
{
    auto pFolder = std::make_shared<shared::TConfinedFolder>(installationFolder(oPackage).absolutePath());
    return pFolder->tryLock() ? pFolder : nullptr;
}

void TInstallationManager::refuseRequest(const std::shared_ptr<TPackage>& pPackage, const QString& sInstalledLabel,
                                         EPackageDownloaderError eReason, const QString& sReason)
{
    const auto pInstallation = startInstallation(pPackage, sInstalledLabel, targetLabel(*pPackage, sInstalledLabel));
    emit installationOrUpdateStarted(pInstallation);
    pInstallation->refuse(sReason, eReason);
    finishInstallation(pInstallation);
}

QString TInstallationManager::folderInUseMessage(const QString& sPackageName)
{
    return QStringLiteral("%1 is being changed by another program. Try again when it has finished.").arg(sPackageName);
}

void TInstallationManager::installOrUpdatePackage(std::shared_ptr<TPackage> pPackage)
{
    qInfo() << "installOrUpdatePackage:" << pPackage->name() << "Thread:" << QThread::currentThreadId();
    const auto pTarget = pPackage->platformConfiguration();
    if (runningInstallation(pPackage->name()) || !pTarget || isUninstalling(*pPackage))
        return;
    try {
        const QDir oFolder = installationFolder(*pPackage);
        QString sProblem = packageFolderProblem(*pPackage);
        std::shared_ptr<shared::TConfinedFolder> pFolder;
        // Another program at work in the folder would build half of each
        // version: the request waits for nothing and changes nothing.
        if (sProblem.isEmpty() && !(pFolder = lockFolder(*pPackage))) {
            refuseRequest(pPackage, readPackageConfigurationFromInstallationDirectory(oFolder)->versionLabel(), FolderInUse,
                          folderInUseMessage(pPackage->name()));
            return;
        }
        const auto pInstalled = readPackageConfigurationFromInstallationDirectory(oFolder);
        // The installed description is trusted only for a fully installed, older version.
        const bool bTrust = m_pLauncherFilesystemHelper->settings()->fastScan()
                            && m_pLauncherFilesystemHelper->fileExists(markerPaths(oFolder).second)
                            && updateNeeded(*pTarget, *pInstalled);
        if (sProblem.isEmpty())
            sProblem = installProblem(oFolder, *pTarget, *m_pLauncherFilesystemHelper->settings(), m_bLocalMediaAllowed);
        if (sProblem.isEmpty() && m_nInstallationMode == kLauncherUpdatingItself)
            sProblem = launcherOwnDataProblem(*pTarget, m_pLauncherFilesystemHelper->launcherOwnData());
        if (!sProblem.isEmpty()) {
            // Refused before anything was written: the folder stays as it was.
            refuseRequest(pPackage, pInstalled->versionLabel(), InvalidPackage, sProblem);
            return;
        }
        // A disk that cannot hold the new version is told before anything is fetched.
        const QString sSpaceProblem = spaceProblem(*pFolder, *pTarget, *pInstalled, m_nInstallationMode);
        if (!sSpaceProblem.isEmpty()) {
            refuseRequest(pPackage, pInstalled->versionLabel(), SavingFailed, sSpaceProblem);
            return;
        }
        markPackageAsPartiallyInstalled(*pPackage, pTarget->packageDocument(), pTarget->assetDocument());
        const auto pInstallation = startInstallation(pPackage, pInstalled->versionLabel(), pTarget->versionLabel());
        pInstallation->setFolder(std::move(pFolder));
        pInstallation->setConfiguration(pTarget);
        connect(pInstallation.get(), &TPackageInstallation::downloadFinished, this, &TInstallationManager::onDownloadFinished);
        emit installationOrUpdateStarted(pInstallation);
        pInstallation->startInstallOrUpdate(pTarget, pInstalled, bTrust);
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
    }
}

void TInstallationManager::verifyPackage(std::shared_ptr<TPackage> pPackage)
{
    qInfo() << "verifyPackage:" << pPackage->name() << "Thread:" << QThread::currentThreadId();
    // No published document is needed: what is checked is the installed version.
    if (runningInstallation(pPackage->name()) || isUninstalling(*pPackage))
        return;
    try {
        const QDir oFolder = installationFolder(*pPackage);
        std::shared_ptr<shared::TConfinedFolder> pFolder;
        if (packageFolderProblem(*pPackage).isEmpty() && !(pFolder = lockFolder(*pPackage))) {
            refuseRequest(pPackage, readPackageConfigurationFromInstallationDirectory(oFolder)->versionLabel(), FolderInUse,
                          folderInUseMessage(pPackage->name()));
            return;
        }
        const std::shared_ptr<const TPackageConfigurationReader> pInstalled
            = readPackageConfigurationFromInstallationDirectory(oFolder);
        // What is checked is what is installed: marking the current remote
        // version instead would call the folder up to date for files it lacks.
        if (pInstalled->isValid())
            markPackageAsPartiallyInstalled(*pPackage, pInstalled->packageDocument(), pInstalled->assetDocument());
        const QString sInstalledLabel = pInstalled->versionLabel();
        const auto pInstallation = startInstallation(pPackage, sInstalledLabel, targetLabel(*pPackage, sInstalledLabel));
        pInstallation->setFolder(std::move(pFolder));
        pInstallation->setConfiguration(pInstalled);
        emit installationOrUpdateStarted(pInstallation);
        pInstallation->startVerification(pInstalled, true);
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
    }
}

void TInstallationManager::onDiskAccessFailed(QString ErrorMessage)
{
    emit diskAccessFailed(ErrorMessage);
}

void TInstallationManager::onDownloadFinished(std::shared_ptr<TPackage> PackageBeingInstalled)
{
    qInfo() << "onDownloadFinished:" << PackageBeingInstalled->name() << "Thread:" << QThread::currentThreadId();
    const auto pInstallation = runningInstallation(PackageBeingInstalled->name());
    if (!pInstallation)
        return;
    qInfo() << "onDownloadFinished found:" << PackageBeingInstalled->name()
            << "InstallationsInProgress:" << m_lInstallations.size() << "Thread:" << QThread::currentThreadId();
    if (!pInstallation->succeeded()) {
        finishInstallation(pInstallation);
        return;
    }
    try {
        crashPoint("download-done");
        const auto& pTarget = pInstallation->configuration();
        updatePartiallyInstalledPackage(*PackageBeingInstalled, pTarget->packageDocument(), pTarget->assetDocument());
        crashPoint("partial-updated");
        // The folder's record now holds the target's own bytes, so the target is
        // what it describes: reading and parsing those tens of MiB back would only
        // hold a second copy of the package beside the first while the files are checked.
        qInfo() << "onDownloadFinished files to verify:" << pTarget->files().size() << "Thread:" << QThread::currentThreadId();
        sendFunnelEvent(*PackageBeingInstalled, QStringLiteral("launcher_downloaded"),
                        QStringLiteral("FunnelFinishedDownloadingFirst"));
        pInstallation->startVerification(pTarget, false);
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
    }
}

void TInstallationManager::onVerificationFinished(std::shared_ptr<TPackage> PackageBeingInstalled)
{
    qInfo() << "onVerificationFinished:" << PackageBeingInstalled->name() << "Thread:" << QThread::currentThreadId();
    const auto pInstallation = runningInstallation(PackageBeingInstalled->name());
    if (!pInstallation)
        return;
    qInfo() << "onVerificationFinished found package:" << PackageBeingInstalled->name()
            << "without error:" << pInstallation->succeeded() << "Thread:" << QThread::currentThreadId();
    try {
        if (pInstallation->succeeded()) {
            const auto& pConfiguration = pInstallation->configuration();
            markPackageAsFullyInstalled(*PackageBeingInstalled, pConfiguration->packageDocument(),
                                        pConfiguration->assetDocument());
            sendFunnelEvent(*PackageBeingInstalled, QStringLiteral("launcher_verified"),
                            QStringLiteral("FunnelFinished_VerifyingFirst"));
            if (m_pLauncherFilesystemHelper->accountGroupFilePresent())
                copyAccountGroup(*folderOf(*PackageBeingInstalled));
        }
        // Only a package checked sound in this run may be started as up to date.
        PackageBeingInstalled->setUpToDate(pInstallation->succeeded());
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
        return;
    }
    finishInstallation(pInstallation);
}

void TInstallationManager::copyAccountGroup(const shared::TConfinedFolder& oFolder)
{
    // The client reads its account group from its own folder; a copy there is the client's and stays.
    const QString sTarget = QDir::cleanPath(m_pLauncherFilesystemHelper->accountGroupTargetPath());
    const QString sSource = m_pLauncherFilesystemHelper->joinPath(
        {QDir(m_pLauncherFilesystemHelper->launcherFolder()).absolutePath(), m_pLauncherFilesystemHelper->accountGroupFileName()});
    try {
        if (isSafeRelativePath(sTarget) && oFolder.status(sTarget).m_eEntry == shared::TConfinedFolder::EEntry::Missing)
            shared::replaceFile(oFolder, sTarget, m_pLauncherFilesystemHelper->readFile(sSource));
    } catch (const std::exception& oError) {
        qWarning() << "The account group could not be copied into" << oFolder.path() << ":" << oError.what();
    }
}

void TInstallationManager::finishInstallation(const std::shared_ptr<TPackageInstallation>& pInstallation)
{
    // The folder is free for others before anyone hears of the end.
    if (pInstallation->folder())
        pInstallation->folder()->unlock();
    emit installationOrUpdateFinished(pInstallation);
    disconnect(pInstallation.get(), &TPackageInstallation::diskAccessFailed, this, &TInstallationManager::onDiskAccessFailed);
    m_lInstallations.erase(std::remove(m_lInstallations.begin(), m_lInstallations.end(), pInstallation),
                           m_lInstallations.end());
    if (m_lInstallations.empty())
        emit allStartedUpdatesFinished();
}

void TInstallationManager::sendFunnelEvent(const TPackage&, const QString& sStep, const QString& sFirstFlagKey)
{
    // The launcher updating itself is no client download of the player's.
    if (m_pFunnelEventSink && m_nInstallationMode != kLauncherUpdatingItself)
        m_pFunnelEventSink->sendFunnelEvent(sStep, sFirstFlagKey);
}

void TInstallationManager::updateStatusesAndFindDefault()
{
    if (!m_pLauncherMetadata)
        return;
    bool bFound = false;
    for (const std::shared_ptr<TPackage>& pPackage : m_pLauncherMetadata->packages()) {
        const ELocalPackageStatus eStatus = localPackageStatus(*pPackage);
        setStatus(*pPackage, eStatus);
        if (!bFound && eStatus != NotInstalled && eStatus != Unknown
            && m_pLauncherFilesystemHelper->fileExists(
                m_pLauncherFilesystemHelper->pathInsideFolder(installationFolder(*pPackage), kDefaultMarker))) {
            pPackage->setDefault(true);
            bFound = true;
        }
    }
}

void TInstallationManager::clearDefaultPackages()
{
    if (!m_pLauncherMetadata)
        return;
    for (const std::shared_ptr<TPackage>& pPackage : m_pLauncherMetadata->packages()) {
        setStatus(*pPackage, localPackageStatus(*pPackage));
        m_pLauncherFilesystemHelper->removePath(m_pLauncherFilesystemHelper->pathInsideFolder(installationFolder(*pPackage), kDefaultMarker));
        pPackage->setDefault(false);
    }
}

void TInstallationManager::setDefaultPackage(const std::shared_ptr<TPackage>& pPackage)
{
    try {
        clearDefaultPackages();
        if (!pPackage)
            return;
        m_pLauncherFilesystemHelper->writeFileCreatingFolder(
            m_pLauncherFilesystemHelper->pathInsideFolder(installationFolder(*pPackage), kDefaultMarker), QByteArray());
        pPackage->setDefault(true);
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
    }
}

} // namespace velmar::launcher
