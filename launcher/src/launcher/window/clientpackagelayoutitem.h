#pragma once

#include "launcher/engine/packageinstallation.h"
#include "packagesizetext.h"

#include "shared/etaestimator.h"
#include "shared/filesize.h"

#include <QElapsedTimer>
#include <QString>
#include <QVBoxLayout>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QContextPushButton;
class QGroupBox;
class QLabel;
class QProgressBar;

namespace velmar::launcher {

class TInstallationManager;
class TPackage;
class TPackageInstallation;

// One package in the window's grid: its logo, one action button whose colour and
// icon follow the local status (a progress bar in its place while an
// installation runs), name, version or megabytes done, time left, and the
// "Default Client" checkbox. Before a Download or Update its tooltip tells what
// the click will fetch and the room it takes; an installed package's menu offers
// "Verify" and "Uninstall".
class TClientPackageLayoutItem : public QVBoxLayout
{
    Q_OBJECT

public:
    // The free bytes the file system of a folder leaves to users; empty when unknown.
    using TFreeSpaceProbe = std::function<std::optional<shared::TFileSize>(const QString& sFolder)>;

    TClientPackageLayoutItem(std::shared_ptr<TPackage> pPackage, bool bShowPackageName);
    ~TClientPackageLayoutItem() override;

    // Where the item reads the installed documents and finds the package's
    // folder; without one it tells no sizes.
    void setInstallationManager(TInstallationManager* pInstallationManager);
    // shared::freeSpaceAt unless replaced.
    void setFreeSpaceProbe(TFreeSpaceProbe fnProbe);
    // Asked each time the menu opens: while a client runs, nothing is uninstalled.
    void setClientRunningCheck(std::function<bool()> fnClientRunning) { m_fnClientRunning = std::move(fnClientRunning); }
    // The estimate the tooltip and the note show; empty unless the button reads Download or Update.
    const std::optional<TPackageSizeEstimate>& sizeEstimate() const { return m_oSizeEstimate; }

    const std::shared_ptr<TPackage>& package() const { return m_pPackage; }
    QCheckBox* defaultClientCheckbox() const { return m_pDefaultClientCheckbox; }
    QContextPushButton* button() const { return m_pButton; }
    QProgressBar* progressBar() const { return m_pProgressBar; }
    QLabel* logoLabel() const { return m_pLogoLabel; }
    QLabel* nameLabel() const { return m_pNameLabel; }
    QLabel* versionLabel() const { return m_pVersionLabel; }
    // Time left while downloading (what it waits for while no byte comes); after
    // a failed try, that it failed; after a verification that passed, how many
    // files it found intact.
    QLabel* noteLabel() const { return m_pNoteLabel; }
    bool lastTryFailed() const { return m_bLastTryFailed; }
    // Between the start and the end of an installation or an uninstall.
    bool isBusy() const { return m_bBusy; }
    // Offline the button cannot download or update; Play and Verify stay.
    void setOffline(bool bOffline);
    // The progress bar's menu: "Pause" while downloading, "Resume" while paused.
    QAction* pauseAction() const { return m_pPauseAction; }
    QAction* resumeAction() const { return m_pResumeAction; }
    // Milliseconds of a steady clock, for the time left and for telling a
    // stall; tests script it.
    void setClock(std::function<qint64()> fnNow) { m_fnNow = std::move(fnNow); }

signals:
    void defaultChanged(std::shared_ptr<velmar::launcher::TPackage> pPackage, bool IsDefault);
    void buttonClicked(std::shared_ptr<velmar::launcher::TPackage> pPackage);
    void verifyButtonClicked(std::shared_ptr<velmar::launcher::TPackage> pPackage);
    void uninstallButtonClicked(std::shared_ptr<velmar::launcher::TPackage> pPackage);

public slots:
    void onInstallationOrUpdateStarted(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);
    void onInstallationOrUpdateFinished(std::shared_ptr<velmar::launcher::TPackageInstallation> InstallationInProgress);
    // The bar stands in the button's place, busy, while the files go.
    void onUninstallStarted();
    void onUninstallFinished();
    void onLocalPackageStatusChanged();
    void updatePackageNameAndVersion();
    void updatePackageImageFromPackageStatus();
    void updateButtonFromPackageStatus();
    void updateDefaultClientCheckboxFromPackageStatus();

private:
    void onProgress(EInstallationStep eStep, shared::TFileSize nDone, shared::TFileSize nTotal,
                    shared::TFileSize nBytesPerSecond);
    void onScanProgress(shared::TFileSize nDone, shared::TFileSize nTotal);
    void onWriteProgress(shared::TFileSize nDone, shared::TFileSize nTotal);
    void onVerificationProgress(shared::TFileSize nDone, shared::TFileSize nTotal);
    void onDownloadProgress(shared::TFileSize nDownloaded, shared::TFileSize nTotalToDownload, shared::TFileSize nRate);
    void onRetryWaiting(int nAttempt, int nAttempts);
    // The note under a download: retries waiting, a stall, or the time left.
    void showDownloadNote();
    // Shows D of T for a step; within one step the bar never goes back.
    void showProgress(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal);
    void endProgress();
    void refresh();
    // Reads the installed documents and the free space again, for a Download or Update.
    void updateSizeEstimate();
    void onContextAction(const QString& sAction);
    void showNote(const QString& sText, const QString& sColour);
    void onPausedChanged(bool bPaused);
    // Offers on the bar what the installation can do now; no menu when nothing.
    void updatePauseActions();

    std::shared_ptr<TPackage> m_pPackage;
    QCheckBox* m_pDefaultClientCheckbox;
    QLabel* m_pLogoLabel;
    QLabel* m_pNameLabel = nullptr;
    QLabel* m_pVersionLabel;
    QLabel* m_pNoteLabel;
    QContextPushButton* m_pButton;
    QProgressBar* m_pProgressBar;
    QGroupBox* m_pPanel;
    QAction* m_pPauseAction;
    QAction* m_pResumeAction;
    std::shared_ptr<TPackageInstallation> m_pInstallation;
    bool m_bPaused = false;

    // Raised whenever an installation starts or ends: progress queued by an
    // earlier one is then recognised as stale and dropped.
    quint64 m_nRun = 0;
    bool m_bBusy = false;
    bool m_bLastTryFailed = false;
    bool m_bOffline = false;
    // What the last request that ended well has to tell, shown until the next one starts.
    QString m_sOutcomeNote;
    QString m_sStep;
    shared::TFileSize m_nStepTotal = 0;
    QElapsedTimer m_oClock;
    std::function<qint64()> m_fnNow;
    shared::TEtaEstimator m_oEta;
    int m_nRetryAttempt = 0;
    int m_nRetryAttempts = 0;
    std::vector<QMetaObject::Connection> m_lConnections;
    TInstallationManager* m_pInstallationManager = nullptr;
    TFreeSpaceProbe m_fnFreeSpace;
    std::function<bool()> m_fnClientRunning;
    std::optional<TPackageSizeEstimate> m_oSizeEstimate;
};

} // namespace velmar::launcher
