#pragma once

#include "launcher/documents/launcherconfigurationhandler.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "splashkind.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <memory>

class QNetworkAccessManager;
class QSplashScreen;

namespace systemsurvey {
class TSystemSurveyUploader;
}

namespace shared {
class FirstInstanceTester;
class TTranslationManager;
class QNetworkAccessManagerWrapper;
class TDownloadPool;
class TNamedFileMapping;
}

namespace velmar::launcher {

class TClientStart;
class TCloudflareCdnTrace;
class TFunnelReporter;
class TInstallationManager;
class TLauncherMainWindow;
class TLauncherSelfUpdater;
class TPackage;

// The application object and the conductor of a launcher run: metadata, then
// the self-update decision, then either the window or the client straight away.
// It owns the long-lived services, gathers the facts each decision needs
// (startupdecision.h), carries the decision out and ends the run itself in most
// paths; starting the client and the funnel events have classes of their own.
class TLauncherApplication : public QApplication
{
    Q_OBJECT

public:
    TLauncherApplication(int& nArgc, char** ppArgv);
    ~TLauncherApplication() override;

    // Fire and forget, through the running application's funnel reporter; does
    // nothing when no launcher application runs.
    static void sendFunnelEvent(const QString& sStep, const QString& sFirstFlagKey);

    bool isFirstLaunch() const { return m_oCommandLineParser.isSet(m_oFirstLaunchOption); }
    bool isSkipSelfUpdate() const { return m_oCommandLineParser.isSet(m_oSkipSelfUpdateOption); }
    bool isShowUi() const { return m_oCommandLineParser.isSet(m_oShowUiOption); }
    QString patchExecutable() const { return m_oCommandLineParser.value(m_oPatchOption); }

    // The single-instance claim lives as long as the run, and is given up before a restart.
    void adoptInstanceGuard(std::unique_ptr<shared::FirstInstanceTester> pGuard);
    // Entry step 5: the metadata download with its error timer, then the wait notification.
    void startLoadingConfiguration();

    void showSplashScreen(ESplashKind eKind, const QString& sMessage = QString());
    void hideSplashScreen();
    void showMainWindow();
    void startPackageAndExit(const std::shared_ptr<TPackage>& pPackage);

public slots:
    void onLauncherReadyForAction();
    void onClientStartOrInstallTriggeredFromUI(std::shared_ptr<velmar::launcher::TPackage> pPackage);
    void onClientVerifyTriggeredFromUI(std::shared_ptr<velmar::launcher::TPackage> pPackage);

private:
    void onMainConfigurationLoaded();
    void onPackageConfigurationsFinished();
    void onAllStartedUpdatesFinished();
    void onDefaultChanged(const std::shared_ptr<TPackage>& pPackage, bool bIsDefault);
    void restartAfterSelfUpdate();
    // Another start on this launcher folder was refused: the window, when shown, comes to the front.
    void onLaterStartRefused();
    // Fetches the metadata and the documents of the packages not installing again, for the window.
    void refreshDocuments();
    void onRefreshFinished(bool bSucceeded, const QString& sProblem, const std::vector<std::shared_ptr<TPackage>>& lRefreshed);
    // Whether a Play must wait for a refresh first: the last one is older than the interval.
    bool refreshIsDue() const;
    // What the package's button asks for: start, download or update.
    void actOnPackage(const std::shared_ptr<TPackage>& pPackage);
    // Positions in the metadata's list of packages, as the decisions name them; -1 is none.
    int patchPackage() const;
    // The first package marked default, when it is installed and current.
    int currentDefaultPackage() const;
    // Deletes the "FORCE_PATCH" files it finds.
    std::vector<int> forcedPatches();
    const std::shared_ptr<TPackage>& package(int nPosition) const;
    // The boxes that end a run: each stops the wait notification and hides the splash first.
    void failWithMaintenanceBox();
    // The maintenance box, naming why the signed metadata could not be trusted.
    void failWithRefusedConfiguration(const QString& sReason);
    void failWithFileError(const QString& sMessage);
    // sDetail: the reason below the text, when there is one.
    void endRunWithBox(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle, const QString& sText,
                       QMessageBox::StandardButtons eButtons = QMessageBox::Ok, const QString& sDetail = QString());
    void endRun(int nExitCode);
    // Runs one step of the run; a runtime error in it ends the run with the file error box.
    template <typename TStep>
    void guarded(TStep&& fnStep);

    static TLauncherApplication* s_pInstance;

    QString m_sExecutablePath;
    std::shared_ptr<QNetworkAccessManager> m_pNetworkAccessManager;
    std::shared_ptr<shared::QNetworkAccessManagerWrapper> m_pNetworkAccessManagerWrapper;
    std::shared_ptr<shared::TDownloadPool> m_pDownloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_pLauncherFilesystemHelper;
    std::shared_ptr<shared::TTranslationManager> m_pTranslationManager;
    std::shared_ptr<TCloudflareCdnTrace> m_pCdnTrace;
    std::unique_ptr<TLauncherConfigurationHandler> m_pConfigurationHandler;
    std::unique_ptr<TLauncherSelfUpdater> m_pSelfUpdater;
    std::unique_ptr<TInstallationManager> m_pInstallationManager;
    std::unique_ptr<systemsurvey::TSystemSurveyUploader> m_pSystemSurveyUploader;
    std::unique_ptr<TLauncherMainWindow> m_pMainWindow;
    std::unique_ptr<QSplashScreen> m_pSplashScreen;
    QCommandLineParser m_oCommandLineParser;
    QCommandLineOption m_oFirstLaunchOption;
    QCommandLineOption m_oSkipSelfUpdateOption;
    QCommandLineOption m_oShowUiOption;
    QCommandLineOption m_oPatchOption;
    QTimer m_oWaitNotificationTimer;
    QTimer m_oRefreshTimer;
    // Since the documents were last fetched, at the start or by a refresh.
    QElapsedTimer m_oSinceRefresh;
    std::shared_ptr<TPackage> m_pPlayAfterRefresh;
    std::shared_ptr<TFunnelReporter> m_pFunnelReporter;
    std::unique_ptr<TClientStart> m_pClientStart;
    std::unique_ptr<shared::TNamedFileMapping> m_pLauncherRunningMarker;
    std::unique_ptr<shared::FirstInstanceTester> m_pInstanceGuard;
    // Set once an outcome ends the run, so that later signals cannot start anything.
    bool m_bEnding = false;
    bool m_bStartingRequests = false;
};

} // namespace velmar::launcher
