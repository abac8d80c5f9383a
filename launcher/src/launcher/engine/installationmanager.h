#pragma once

#include "launcher/documents/localpackagestatus.h"
#include "installationmode.h"
#include "packagedownloadererror.h"

#include <QByteArray>
#include <QMetaType>
#include <QDir>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>
#include <set>
#include <vector>

namespace shared {
class TConfinedFolder;
}

namespace velmar::launcher {

class TFunnelEventSink;
class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageConfigurationReader;
class TPackageInstallation;
class TPackageUninstall;

// The one entry point for changing installed packages: starts installs, updates
// and verifications, keeps the marker files in each package folder and computes
// every package's local status from them.
//
// The markers always tell the truth about a folder, whenever the process dies:
// the partial marker and the asset copy always belong to one version, data is on
// the disk before a marker claims it, and the full marker is in place before the
// partial one goes.
class TInstallationManager : public QObject
{
    Q_OBJECT

public:
    TInstallationManager(std::shared_ptr<TLauncherConfigurationReader> pLauncherMetadata,
                         std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper);
    ~TInstallationManager() override;

    // What a request is told when another program holds the package's folder.
    static QString folderInUseMessage(const QString& sPackageName);

    void installOrUpdatePackage(std::shared_ptr<TPackage> pPackage);
    void verifyPackage(std::shared_ptr<TPackage> pPackage);
    // What uninstalling the package deletes, read from its markers (the files
    // are only looked at); throws std::runtime_error saying why nothing can be
    // uninstalled.
    std::shared_ptr<TPackageUninstall> planUninstall(const TPackage& oPackage);
    // Deletes what the plan lists on the global pool, holding the package's
    // folder, then sets the package's status afresh (not installed) and ends
    // with uninstallFinished. False, doing nothing, while the package installs,
    // verifies or is being uninstalled already.
    bool uninstallPackage(const std::shared_ptr<TPackage>& pPackage, std::shared_ptr<TPackageUninstall> pPlan);
    bool isUninstalling(const TPackage& oPackage) const;

    ELocalPackageStatus localPackageStatus(const TPackage& oPackage);
    // Whether either marker is there, without reading the installed document.
    bool hasInstallation(const TPackage& oPackage);
    QDir installationFolder(const TPackage& oPackage);
    QString executablePath(const TPackage& oPackage);
    std::shared_ptr<TPackage> packageForExecutable(const QString& sPath);
    void setDefaultPackage(const std::shared_ptr<TPackage>& pPackage);
    void clearDefaultPackages();
    void updateStatusesAndFindDefault();

    std::shared_ptr<TPackageConfigurationReader> readPackageConfigurationFromInstallationDirectory(const QDir& oFolder);
    void markPackageAsPartiallyInstalled(TPackage& oPackage, const QByteArray& aPackageDocument,
                                         const QByteArray& aAssetDocument);
    void updatePartiallyInstalledPackage(TPackage& oPackage, const QByteArray& aPackageDocument,
                                         const QByteArray& aAssetDocument);
    void markPackageAsFullyInstalled(TPackage& oPackage, const QByteArray& aPackageDocument,
                                     const QByteArray& aAssetDocument);
    // (partial marker path, full marker path)
    QPair<QString, QString> markerPaths(const QDir& oFolder);

    bool hasRunningInstallations() const { return !m_lInstallations.empty(); }
    bool isInstalling(const TPackage& oPackage) const;
    int installationMode() const { return m_nInstallationMode; }
    void setInstallationMode(int nMode) { m_nInstallationMode = nMode; }
    // Whether documents read from a folder (local media) may name the files
    // below it as the chunks to fetch. The launcher fetches over http and https only.
    void setLocalMediaAllowed(bool bAllowed) { m_bLocalMediaAllowed = bAllowed; }
    void setFunnelEventSink(std::shared_ptr<TFunnelEventSink> pSink) { m_pFunnelEventSink = std::move(pSink); }
    // Why the package cannot be installed into its folder at all; empty when it can.
    QString packageFolderProblem(const TPackage& oPackage);

signals:
    void installationOrUpdateStarted(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);
    void installationOrUpdateFinished(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);
    void allStartedUpdatesFinished();
    void uninstallStarted(std::shared_ptr<velmar::launcher::TPackage> pPackage);
    // An empty message: every listed file and the markers went.
    void uninstallFinished(std::shared_ptr<velmar::launcher::TPackage> pPackage, QString ErrorMessage);
    void diskAccessFailed(QString ErrorMessage);

private slots:
    void onDiskAccessFailed(QString ErrorMessage);
    void onDownloadFinished(std::shared_ptr<velmar::launcher::TPackage> PackageBeingInstalled);
    void onVerificationFinished(std::shared_ptr<velmar::launcher::TPackage> PackageBeingInstalled);

private:
    std::shared_ptr<TPackageInstallation> startInstallation(const std::shared_ptr<TPackage>& pPackage,
                                                            const QString& sInstalledLabel, const QString& sTargetLabel);
    std::shared_ptr<TPackageInstallation> runningInstallation(const QString& sName) const;
    // The package's folder, locked for a request; empty when another holds it.
    std::shared_ptr<shared::TConfinedFolder> lockFolder(const TPackage& oPackage);
    // Ends a request at once, as failed, before it changed anything.
    void refuseRequest(const std::shared_ptr<TPackage>& pPackage, const QString& sInstalledLabel,
                       EPackageDownloaderError eReason, const QString& sReason);
    void finishInstallation(const std::shared_ptr<TPackageInstallation>& pInstallation);
    void setStatus(TPackage& oPackage, ELocalPackageStatus eStatus);
    QString assetCopyPath(const QDir& oFolder);
    // The folder a step on the package's markers works in.
    std::shared_ptr<shared::TConfinedFolder> folderOf(const TPackage& oPackage);
    // markerPaths relative to the folder.
    QPair<QString, QString> markerNames(const shared::TConfinedFolder& oFolder);
    void writeAssetCopy(const shared::TConfinedFolder& oFolder, const QByteArray& aAssetDocument);
    void copyAccountGroup(const shared::TConfinedFolder& oFolder);
    void sendFunnelEvent(const TPackage& oPackage, const QString& sStep, const QString& sFirstFlagKey);

    std::shared_ptr<TLauncherConfigurationReader> m_pLauncherMetadata;
    std::shared_ptr<TLauncherFilesystemHelper> m_pLauncherFilesystemHelper;
    std::vector<std::shared_ptr<TPackageInstallation>> m_lInstallations;
    // The names of the packages whose files are going.
    std::set<QString> m_lUninstalls;
    int m_nInstallationMode = kOrdinaryPackage;
    bool m_bLocalMediaAllowed = false;
    std::shared_ptr<TFunnelEventSink> m_pFunnelEventSink;
};

} // namespace velmar::launcher

Q_DECLARE_METATYPE(std::shared_ptr<velmar::launcher::TPackageInstallation>)
Q_DECLARE_METATYPE(std::shared_ptr<velmar::launcher::TPackage>)
