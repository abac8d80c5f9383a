#pragma once

#include "launcherconfigurationhandler.h"
#include "launcherfilesystemhelper.h"
#include "splashkind.h"

#include "shared/namedfilemapping.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QTimer>

#include <memory>

class QNetworkAccessManager;
class QSplashScreen;

namespace systemsurvey {
class TSystemSurveyUploader;
}

namespace shared {
class QNetworkAccessManagerWrapper;
class TDownloadPool;
}

namespace velmar::launcher {

// The application object and the conductor of a launcher run. It owns the
// long-lived services and the process-level pieces: command line, running
// marker, splash screens and the wait-notification timer.
class TLauncherApplication : public QApplication
{
    Q_OBJECT

public:
    TLauncherApplication(int& nArgc, char** ppArgv);
    ~TLauncherApplication() override;

    static TLauncherApplication* instance() { return s_pInstance; }

    // Fire and forget; does nothing when no launcher application runs (tools, widget tests).
    static void sendFunnelEvent(const QString& sStep, const QString& sFirstFlagKey);

    const std::shared_ptr<shared::TDownloadPool>& downloadPool() const { return m_pDownloadPool; }
    const std::shared_ptr<TLauncherFilesystemHelper>& launcherFilesystemHelper() const { return m_pLauncherFilesystemHelper; }
    TLauncherConfigurationHandler& configurationHandler() const { return *m_pConfigurationHandler; }
    const QString& accountGroupKey() const { return m_sAccountGroupKey; }

    bool isFirstLaunch() const { return m_oCommandLineParser.isSet(m_oFirstLaunchOption); }
    bool isSkipSelfUpdate() const { return m_oCommandLineParser.isSet(m_oSkipSelfUpdateOption); }
    bool isShowUi() const { return m_oCommandLineParser.isSet(m_oShowUiOption); }
    QString patchExecutable() const { return m_oCommandLineParser.value(m_oPatchOption); }

    // Entry step 5: the metadata download with its error timer, then the wait notification.
    void startLoadingConfiguration();

    void showSplashScreen(int nKind);
    void hideSplashScreen();

private:
    void onMainConfigurationLoaded();
    void onPackageConfigurationsFinished();
    void readAccountGroupKey();

    static TLauncherApplication* s_pInstance;

    std::shared_ptr<QNetworkAccessManager> m_pNetworkAccessManager;
    std::shared_ptr<shared::QNetworkAccessManagerWrapper> m_pNetworkAccessManagerWrapper;
    std::shared_ptr<shared::TDownloadPool> m_pDownloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_pLauncherFilesystemHelper;
    std::unique_ptr<TLauncherConfigurationHandler> m_pConfigurationHandler;
    std::unique_ptr<systemsurvey::TSystemSurveyUploader> m_pSystemSurveyUploader;
    std::unique_ptr<QSplashScreen> m_pSplashScreen;
    QCommandLineParser m_oCommandLineParser;
    QCommandLineOption m_oFirstLaunchOption;
    QCommandLineOption m_oSkipSelfUpdateOption;
    QCommandLineOption m_oShowUiOption;
    QCommandLineOption m_oPatchOption;
    QTimer m_oWaitNotificationTimer;
    QString m_sAccountGroupKey;
    shared::TNamedFileMapping m_oLauncherRunningMarker;
};

} // namespace velmar::launcher
