#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace velmar::launcher {

class TInstallationManager;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageInstallation;

// Installs the launcher's own package over the running launcher. Each changed
// file is built beside its place and renamed over it, the old one kept as
// ".old"; a failed update puts the old executable back.
class TLauncherSelfUpdater : public QObject
{
    Q_OBJECT

public:
    // sExecutablePath: the running launcher's program, taken at start, before
    // an update can rename anything.
    TLauncherSelfUpdater(std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper, QString sExecutablePath);
    ~TLauncherSelfUpdater() override;

    void startSelfUpdate(std::shared_ptr<TPackage> pPackage);
    // Deletes the ".old" files an earlier update left: the program's and that of
    // every file the launcher folder's package marker lists, in whatever
    // subfolder. Throws the runtime error of a file it cannot delete.
    void cleanupOldLauncherVersion();

signals:
    void updateDownloadFinishedAndRestartRequired();
    void updateFailed();
    void diskAccessFailed(QString ErrorMessage);

private slots:
    void onInstallationOrUpdateFinished(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);

private:
    void restoreExecutable();

    std::shared_ptr<TLauncherFilesystemHelper> m_pFilesystemHelper;
    QString m_sExecutablePath;
    std::unique_ptr<TInstallationManager> m_pInstallationManager;
};

} // namespace velmar::launcher
