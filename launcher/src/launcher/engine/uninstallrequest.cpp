// The installation manager's uninstall: the player's request from the window,
// carried out by TPackageUninstall off the main thread.

#include "installationmanager.h"

#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/package.h"
#include "packageuninstall.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <stdexcept>

namespace velmar::launcher {

bool TInstallationManager::isUninstalling(const TPackage& oPackage) const
{
    return m_lUninstalls.count(oPackage.name()) > 0;
}

std::shared_ptr<TPackageUninstall> TInstallationManager::planUninstall(const TPackage& oPackage)
{
    if (oPackage.index() == TPackage::kLauncherIndex)
        throw std::runtime_error("The launcher does not uninstall itself.");
    const QString sProblem = packageFolderProblem(oPackage);
    if (!sProblem.isEmpty())
        throw std::runtime_error(sProblem.toStdString());
    auto pPlan = std::make_shared<TPackageUninstall>(installationFolder(oPackage).absolutePath(),
                                                     *m_pLauncherFilesystemHelper->settings());
    if (!pPlan->plan())
        throw std::runtime_error(pPlan->errorString().toStdString());
    return pPlan;
}

bool TInstallationManager::uninstallPackage(const std::shared_ptr<TPackage>& pPackage, std::shared_ptr<TPackageUninstall> pPlan)
{
    if (!pPackage || !pPlan || runningInstallation(pPackage->name()) || isUninstalling(*pPackage))
        return false;
    qInfo() << "uninstallPackage:" << pPackage->name() << pPlan->fileCount() << "files," << pPlan->bytesFreed() << "bytes";
    m_lUninstalls.insert(pPackage->name());
    emit uninstallStarted(pPackage);
    // The plan holds the folder's lock itself while it deletes, as an install
    // would: another program at work in the folder makes it delete nothing.
    auto* pWatcher = new QFutureWatcher<QString>(this);
    connect(pWatcher, &QFutureWatcher<QString>::finished, this, [this, pWatcher, pPackage] {
        pWatcher->deleteLater();
        const QString sError = pWatcher->result();
        m_lUninstalls.erase(pPackage->name());
        qInfo() << "uninstall of" << pPackage->name() << "ended" << (sError.isEmpty() ? QStringLiteral("well") : sError);
        try {
            if (sError.isEmpty() && pPackage->isDefault())
                pPackage->setDefault(false);
            pPackage->setUpToDate(false);
            setStatus(*pPackage, localPackageStatus(*pPackage));
        } catch (const std::exception& oError) {
            emit diskAccessFailed(QString::fromUtf8(oError.what()));
        }
        emit uninstallFinished(pPackage, sError);
    });
    pWatcher->setFuture(QtConcurrent::run([pPlan]() -> QString {
        try {
            return pPlan->run() ? QString() : pPlan->errorString();
        } catch (const std::exception& oError) {
            return QString::fromUtf8(oError.what());
        }
    }));
    return true;
}

} // namespace velmar::launcher
