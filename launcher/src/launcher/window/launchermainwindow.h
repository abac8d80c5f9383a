#pragma once

#include "draggablemainwindow.h"

#include "shared/hint.h"

#include "shared/filesize.h"

#include <QMetaObject>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QGroupBox;
class QLabel;
class QMessageBox;
class QPushButton;
class QScrollArea;
class QSpacerItem;
class QVBoxLayout;

namespace shared {
class TDownloadPool;
}

namespace velmar::launcher {

class TClientPackageLayoutItem;
class TCloudflareCdnTrace;
class TFunnelEventSink;
class THintRow;
class TInstallationManager;
class TLauncherConfigurationReader;
class TPackage;
class TPackageInstallation;

// The launcher's only window: one item per package, the hint area and the
// about and social links. It forwards the player's actions to the controller,
// keeps at most one package marked as the default client and reports the end
// of installations. An uninstall it conducts itself, once the player confirmed it.
class TLauncherMainWindow : public TDraggableMainWindow
{
    Q_OBJECT

public:
    TLauncherMainWindow(std::vector<std::shared_ptr<TPackage>> lPackages, TInstallationManager* pInstallationManager,
                        bool bShowPackageNames, std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                        std::shared_ptr<TCloudflareCdnTrace> pCdnTrace,
                        std::shared_ptr<TLauncherConfigurationReader> pLauncherMetadata,
                        std::shared_ptr<TFunnelEventSink> pFunnelEventSink = nullptr, QWidget* pParent = nullptr);
    ~TLauncherMainWindow() override;

    // The item of the package index, or null.
    TClientPackageLayoutItem* item(qint32 nPackageIndex) const;
    qint32 defaultPackageIndex() const { return m_nDefaultPackageIndex; }
    // The window's own non-modal box; null until first needed.
    QMessageBox* messageBox() const { return m_pMessageBox; }
    QGroupBox* hintArea() const { return m_pHintArea; }
    THintRow* hintRow() const { return m_pHintRow; }
    // Whether the reserve space of the hint row still stands in its place.
    bool hintSpaceReserved() const { return m_pHintSpacer != nullptr; }
    QScrollArea* packageArea() const { return m_pPackageArea; }
    // Asked as a package's menu opens: while a client runs, no package is uninstalled.
    void setClientRunningCheck(const std::function<bool()>& fnClientRunning);
    // Where the items learn the free space of a package folder's file system.
    void setFreeSpaceProbe(const std::function<std::optional<shared::TFileSize>(const QString&)>& fnProbe);
    // The line that says the window shows what is installed, without the network.
    QLabel* offlineLabel() const { return m_pOfflineLabel; }
    // Offline: the line shows, and nothing can be downloaded.
    void setOffline(bool bOffline);
    // Asked before a client starts, which ends every installation still running:
    // true when none of another package runs, or the player starts it anyway.
    bool confirmClientStart(const TPackage& oStarting);

signals:
    void defaultChanged(std::shared_ptr<velmar::launcher::TPackage> pPackage, bool IsDefault);
    void clientPackageButtonClicked(std::shared_ptr<velmar::launcher::TPackage> pPackage);
    void clientPackageVerifyButtonClicked(std::shared_ptr<velmar::launcher::TPackage> pPackage);

public slots:
    void setHints(std::vector<shared::THint> Hints);
    void onDefaultClientPackageCheckboxChanged(std::shared_ptr<velmar::launcher::TPackage> pPackage, bool IsDefault);
    void setDefault(std::shared_ptr<velmar::launcher::TPackage> pPackage, bool IsDefault);
    void onInstallationOrUpdateStarted(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);
    void onInstallationOrUpdateFinished(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);
    void onAboutDialogRequested(const QString& sLink);
    // Asks the player, naming the space it frees, and uninstalls on Yes.
    void onUninstallRequested(std::shared_ptr<velmar::launcher::TPackage> pPackage);

protected:
    void showEvent(QShowEvent* pEvent) override;
    // Closing ends every installation; one that still fetches is the player's to give up.
    void closeEvent(QCloseEvent* pEvent) override;

private:
    // For the screenshot script: names the state the idle window shows.
    void snapshotIdleState();
    // For the screenshot script: names what the note under a download tells.
    void snapshotDownloadState();
    void buildPackageArea(const std::vector<std::shared_ptr<TPackage>>& lPackages, bool bShowPackageNames);
    QLayout* buildBottomBar();
    void buildHintArea();
    void onUninstallFinished(const std::shared_ptr<TPackage>& pPackage, const QString& sError);
    void showDownloadFailedMessage(const QString& sPackageName);
    // Restarts the installation the download failure box names, as its button would.
    void tryDownloadAgain();
    // The verification failure box: the first file at fault, and a repair on request.
    void offerRepair(const std::shared_ptr<TPackageInstallation>& pInstallation);
    // Shows the window's own box, not modal, and logs it; with bOfferTryAgain,
    // its "Try again" button restarts the installation whose download failed.
    void showOwnMessage(const QString& sTitle, const QString& sText, const QString& sDetail = QString(),
                        bool bOfferTryAgain = false);
    // Draws the default the installation manager wrote: the first package whose
    // flag is set, or none.
    void showDefaultFromPackages();

    std::shared_ptr<TLauncherConfigurationReader> m_pLauncherMetadata;
    TInstallationManager* m_pInstallationManager;
    std::function<bool()> m_fnClientRunning;
    // Where the default is looked for: the metadata's packages, or those shown.
    std::vector<std::shared_ptr<TPackage>> m_lDefaultCandidates;
    std::shared_ptr<shared::TDownloadPool> m_pDownloadPool;
    std::shared_ptr<TCloudflareCdnTrace> m_pCdnTrace;
    std::map<qint32, TClientPackageLayoutItem*> m_hItems;
    qint32 m_nDefaultPackageIndex = -1;
    QMessageBox* m_pMessageBox = nullptr;
    QMetaObject::Connection m_oTraceConnection;
    QString m_sDownloadFailedPackage;
    std::shared_ptr<TPackage> m_pDownloadFailedPackage;
    // The downloader's words for the failure, shown below the box's text.
    QString m_sDownloadFailedReason;
    QPushButton* m_pTryAgainButton = nullptr;
    QGroupBox* m_pHintArea = nullptr;
    THintRow* m_pHintRow = nullptr;
    QSpacerItem* m_pHintSpacer = nullptr;
    QScrollArea* m_pPackageArea = nullptr;
    QVBoxLayout* m_pMainLayout = nullptr;
    QLabel* m_pOfflineLabel = nullptr;
    // Started and not yet finished, in the order they started.
    std::vector<std::shared_ptr<TPackageInstallation>> m_lRunning;
    // Those of them that are paused, as they said.
    QSet<const TPackageInstallation*> m_lPaused;
    // The player already agreed to end the running installations.
    bool m_bEndingInstallationsAgreed = false;
};

} // namespace velmar::launcher
