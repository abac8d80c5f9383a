#include "launcherselfupdater.h"

#include "installationmanager.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "packageinstallation.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <stdexcept>

namespace velmar::launcher {

TLauncherSelfUpdater::TLauncherSelfUpdater(std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                           QString sExecutablePath)
    : m_pFilesystemHelper(std::move(pFilesystemHelper)), m_sExecutablePath(std::move(sExecutablePath))
{
}

TLauncherSelfUpdater::~TLauncherSelfUpdater() = default;

void TLauncherSelfUpdater::startSelfUpdate(std::shared_ptr<TPackage> pPackage)
{
    if (!pPackage)
        return;
    qInfo() << "startSelfUpdate " << pPackage->name() << " Thread: " << QThread::currentThreadId();
    if (m_pInstallationManager && m_pInstallationManager->hasRunningInstallations()) {
        qWarning() << "startSelfUpdate: an update is running already";
        return;
    }
    try {
        // An ".old" from an earlier update is no version to fall back to now.
        m_pFilesystemHelper->removePath(m_sExecutablePath + QLatin1String(".old"));
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
        return;
    }
    m_pInstallationManager = std::make_unique<TInstallationManager>(nullptr, m_pFilesystemHelper);
    connect(m_pInstallationManager.get(), &TInstallationManager::installationOrUpdateFinished, this,
            &TLauncherSelfUpdater::onInstallationOrUpdateFinished);
    // Left unconnected, a file error would leave the launcher waiting for an update that never ends.
    connect(m_pInstallationManager.get(), &TInstallationManager::diskAccessFailed, this, [this](const QString& sMessage) {
        try {
            restoreExecutable();
        } catch (const std::exception& oError) {
            qCritical() << "Restoring the launcher failed:" << oError.what();
        }
        emit diskAccessFailed(sMessage);
    });
    m_pInstallationManager->setInstallationMode(kLauncherUpdatingItself);
    m_pInstallationManager->installOrUpdatePackage(std::move(pPackage));
}

void TLauncherSelfUpdater::restoreExecutable()
{
    const QString sOld = m_sExecutablePath + QLatin1String(".old");
    if (!QFileInfo::exists(sOld))
        return;
    m_pFilesystemHelper->removePath(m_sExecutablePath);
    if (!QFile::rename(sOld, m_sExecutablePath))
        throw std::runtime_error(QStringLiteral("Failed to move file %1 to %2")
                                     .arg(QDir::toNativeSeparators(sOld), QDir::toNativeSeparators(m_sExecutablePath))
                                     .toStdString());
}

void TLauncherSelfUpdater::onInstallationOrUpdateFinished(std::shared_ptr<TPackageInstallation> InstallationInProgress)
{
    if (InstallationInProgress->succeeded()) {
        emit updateDownloadFinishedAndRestartRequired();
        return;
    }
    try {
        restoreExecutable();
        qCritical() << "Updating Corvane Online failed: Error" << int(InstallationInProgress->errorReason());
    } catch (const std::exception& oError) {
        emit diskAccessFailed(QString::fromUtf8(oError.what()));
        return;
    }
    emit updateFailed();
}

void TLauncherSelfUpdater::cleanupOldLauncherVersion()
{
    qInfo() << "cleanupOldLauncherVersion" << " Thread: " << QThread::currentThreadId();
    // Only the ".old" of a file the launcher's package lists is ours: the clients
    // live below this folder, and other ".old" files may be the player's.
    const QDir oFolder(m_pFilesystemHelper->launcherFolder());
    QStringList lOld{m_sExecutablePath + QLatin1String(".old")};
    const auto pInstalled
        = TInstallationManager(nullptr, m_pFilesystemHelper).readPackageConfigurationFromInstallationDirectory(oFolder);
    for (const TFileDescription& oFile : pInstalled->files()) {
        const QString sRelative = oFile.localFile() + QLatin1String(".old");
        // A subfolder that became a link since leads to files that are not ours.
        if (isSafeRelativePath(sRelative) && pathProblem(oFolder.absolutePath(), sRelative).isEmpty())
            lOld << oFolder.absoluteFilePath(sRelative);
    }
    for (const QString& sOld : lOld) {
        const QFileInfo oOld(sOld);
        if (oOld.isFile() || oOld.isSymLink())
            m_pFilesystemHelper->deleteFile(sOld);
    }
}

} // namespace velmar::launcher
