#pragma once

#include "shared/hint.h"

#include <QMainWindow>

#include <memory>
#include <vector>

namespace shared {
class TDownloadPool;
}

namespace velmar::launcher {

class TCloudflareCdnTrace;
class TInstallationManager;
class TLauncherConfigurationReader;
class TPackage;
class TPackageInstallation;

// The launcher's only window: one item per package, the hint area and the
// about and social links. It forwards the player's actions to the controller.
class TLauncherMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    TLauncherMainWindow(std::vector<std::shared_ptr<TPackage>> lPackages, TInstallationManager* pInstallationManager,
                        bool bShowPackageNames, std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                        std::shared_ptr<TCloudflareCdnTrace> pCdnTrace,
                        std::shared_ptr<TLauncherConfigurationReader> pLauncherMetadata, QWidget* pParent = nullptr);
    ~TLauncherMainWindow() override;

signals:
    void defaultChanged(std::shared_ptr<velmar::launcher::TPackage> pPackage, bool IsDefault);
    void clientPackageButtonClicked(std::shared_ptr<velmar::launcher::TPackage> pPackage);
    void clientPackageVerifyButtonClicked(std::shared_ptr<velmar::launcher::TPackage> pPackage);

public slots:
    void setHints(std::vector<shared::THint> Hints);
    void onInstallationOrUpdateStarted(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);
    void onInstallationOrUpdateFinished(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);

private:
    std::vector<std::shared_ptr<TPackage>> m_lPackages;
};

} // namespace velmar::launcher
