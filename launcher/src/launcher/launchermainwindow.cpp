#include "launchermainwindow.h"

#include "installationmanager.h"
#include "launcherapplication.h"
#include "package.h"
#include "packageinstallation.h"

#include <QDebug>
#include <QThread>

namespace velmar::launcher {

TLauncherMainWindow::TLauncherMainWindow(std::vector<std::shared_ptr<TPackage>> lPackages,
                                         TInstallationManager* pInstallationManager, bool,
                                         std::shared_ptr<shared::TDownloadPool>, std::shared_ptr<TCloudflareCdnTrace>,
                                         std::shared_ptr<TLauncherConfigurationReader>, QWidget* pParent)
    : QMainWindow(pParent), m_lPackages(std::move(lPackages))
{
    setWindowTitle(QStringLiteral("Corvane Online"));
    connect(pInstallationManager, &TInstallationManager::installationOrUpdateStarted, this,
            &TLauncherMainWindow::onInstallationOrUpdateStarted);
    connect(pInstallationManager, &TInstallationManager::installationOrUpdateFinished, this,
            &TLauncherMainWindow::onInstallationOrUpdateFinished);
    TLauncherApplication::sendFunnelEvent(QStringLiteral("launcher_started"), QStringLiteral("FunnelStartedFirst"));
}

TLauncherMainWindow::~TLauncherMainWindow() = default;

void TLauncherMainWindow::setHints(std::vector<shared::THint>) {}

void TLauncherMainWindow::onInstallationOrUpdateStarted(std::shared_ptr<TPackageInstallation>) {}

void TLauncherMainWindow::onInstallationOrUpdateFinished(std::shared_ptr<TPackageInstallation> pInstallation)
{
    qInfo() << "onInstallationOrUpdateFinished package: " << pInstallation->package()->name()
            << " error reason: " << pInstallation->errorReason() << " Thread: " << QThread::currentThreadId();
}

} // namespace velmar::launcher
