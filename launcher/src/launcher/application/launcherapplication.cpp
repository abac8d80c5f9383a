#include "launcherapplication.h"

#include "clientrunningmarker.h"
#include "clientstart.h"
#include "funnelreporter.h"
#include "startupdecision.h"
#include "launcher/documents/cloudflarecdntrace.h"
#include "launcher/documents/metadatarefresh.h"
#include "launcher/engine/installationmanager.h"
#include "launcher/window/launcherimages.h"
#include "launcher/window/launchermainwindow.h"
#include "launcher/engine/launcherselfupdater.h"
#include "launcheroptions.h"
#include "logging.h"
#include "launcher/documents/launcherversion.h"
#include "launcher/window/messagepresenter.h"
#include "launcher/window/launchertheme.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "launcher/documents/packageconfigurationreader.h"

#include "shared/downloadpool.h"
#include "shared/firstinstancetester.h"
#include "shared/gui/qimagecodec.h"
#include "shared/jsondocumenthttppostsender.h"
#include "shared/namedfilemapping.h"
#include "shared/translationmanager.h"
#include "shared/qnetworkaccessmanagerwrapper.h"
#include "systemsurvey/systemsurveyasjsondocumentcreator.h"
#include "systemsurvey/systemsurveycreator.h"
#include "systemsurvey/systemsurveytojsonconverter.h"
#include "systemsurvey/systemsurveyuploader.h"
#include "systemsurvey/systemsurveyvalueretriever.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPixmap>
#include <QProcess>
#include <QSplashScreen>
#include <QThread>

#include <limits>
#include <utility>

namespace velmar::launcher {

TLauncherApplication* TLauncherApplication::s_pInstance = nullptr;

TLauncherApplication::TLauncherApplication(int& nArgc, char** ppArgv)
    : QApplication(nArgc, ppArgv)
    , m_sExecutablePath(QCoreApplication::applicationFilePath())
    , m_pNetworkAccessManager(std::make_shared<QNetworkAccessManager>())
    , m_pNetworkAccessManagerWrapper(std::make_shared<shared::QNetworkAccessManagerWrapper>(m_pNetworkAccessManager))
    , m_pDownloadPool(std::make_shared<shared::TDownloadPool>(6, m_pNetworkAccessManagerWrapper, nullptr, true))
    , m_pLauncherFilesystemHelper(std::make_shared<TLauncherFilesystemHelper>())
    , m_pTranslationManager(std::make_shared<shared::TTranslationManager>())
    , m_pCdnTrace(std::make_shared<TCloudflareCdnTrace>(m_pLauncherFilesystemHelper->settings()->cdnDiagnosticsTrace(),
                                                        m_pDownloadPool))
    , m_pConfigurationHandler(std::make_unique<TLauncherConfigurationHandler>(m_pDownloadPool, m_pLauncherFilesystemHelper))
    , m_pSelfUpdater(std::make_unique<TLauncherSelfUpdater>(m_pLauncherFilesystemHelper, m_sExecutablePath))
    , m_oFirstLaunchOption(launcherOption(ELauncherOption::FirstLaunch))
    , m_oSkipSelfUpdateOption(launcherOption(ELauncherOption::SkipSelfUpdate))
    , m_oShowUiOption(launcherOption(ELauncherOption::ShowUi))
    , m_oPatchOption(launcherOption(ELauncherOption::Patch))
    , m_pLauncherRunningMarker(std::make_unique<shared::TNamedFileMapping>(launcherRunningMarkerName(), true))
{
    m_oCommandLineParser.addOption(m_oFirstLaunchOption);
    m_oCommandLineParser.addOption(m_oSkipSelfUpdateOption);
    m_oCommandLineParser.addOption(m_oShowUiOption);
    m_oCommandLineParser.addOption(m_oPatchOption);
    s_pInstance = this;
    shared::registerQImageCodec();
    initLauncherImages();
    // A document that stalls or crawls would otherwise hold the start for ever.
    const std::shared_ptr<const TLauncherSettings>& pSettings = m_pLauncherFilesystemHelper->settings();
    m_pDownloadPool->setStallLimits(pSettings->stallTimeout(), pSettings->minimumTransferRate());
    m_pTranslationManager->installFrom(QFileInfo(m_sExecutablePath).absolutePath());

    setApplicationName(QStringLiteral("Corvane Online"));
    setApplicationDisplayName(QStringLiteral("Corvane Online"));
    setOrganizationName(QStringLiteral("Quarlix GmbH"));
    setOrganizationDomain(QStringLiteral("quarlix.example"));
    // Before any box: those shown without the window look like it too.
    applyLauncherTheme(*this);
    // The window is not the whole run: the client-start splash follows it.
    setQuitOnLastWindowClosed(false);

    m_oWaitNotificationTimer.setSingleShot(true);
    m_oWaitNotificationTimer.setInterval(
        static_cast<int>(m_pLauncherFilesystemHelper->settings()->waitNotificationTimeout()));
    connect(&m_oWaitNotificationTimer, &QTimer::timeout, this, [this] { showSplashScreen(ESplashKind::Loading); });

    const qint64 nRefreshSeconds = m_pLauncherFilesystemHelper->settings()->metadataRefreshInterval();
    m_oRefreshTimer.setInterval(static_cast<int>(std::min<qint64>(nRefreshSeconds * 1000, std::numeric_limits<int>::max())));
    connect(&m_oRefreshTimer, &QTimer::timeout, this, [this] {
        if (m_pMainWindow && m_pMainWindow->isVisible())
            refreshDocuments();
    });
    connect(&m_pConfigurationHandler->refresh(), &TMetadataRefresh::finished, this, &TLauncherApplication::onRefreshFinished);

    m_pFunnelReporter = std::make_shared<TFunnelReporter>(accountGroupKey(m_pLauncherFilesystemHelper->readAccountGroup()));
    m_pClientStart = std::make_unique<TClientStart>(m_pLauncherFilesystemHelper->settings()->clientStartTimeout());
    connect(m_pClientStart.get(), &TClientStart::finished, this, &TLauncherApplication::endRun);
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::mainConfigurationLoaded, this,
            &TLauncherApplication::onMainConfigurationLoaded);
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::mainConfigurationDownloadFailed, this,
            &TLauncherApplication::failWithMaintenanceBox);
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::mainConfigurationRefused, this,
            &TLauncherApplication::failWithRefusedConfiguration);
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::diskAccessFailed, this,
            &TLauncherApplication::failWithFileError);
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished, this,
            &TLauncherApplication::onPackageConfigurationsFinished);
    connect(m_pSelfUpdater.get(), &TLauncherSelfUpdater::updateDownloadFinishedAndRestartRequired, this,
            &TLauncherApplication::restartAfterSelfUpdate);
    connect(m_pSelfUpdater.get(), &TLauncherSelfUpdater::updateFailed, this,
            &TLauncherApplication::onLauncherReadyForAction);
    connect(m_pSelfUpdater.get(), &TLauncherSelfUpdater::diskAccessFailed, this, &TLauncherApplication::failWithFileError);

    // Unknown options and stray arguments are ignored: parse, never process.
    m_oCommandLineParser.parse(arguments());
}

TLauncherApplication::~TLauncherApplication()
{
    // The window and the installations use the services: they go first.
    m_pMainWindow.reset();
    m_pInstallationManager.reset();
    m_pFunnelReporter.reset();
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

template <typename TStep>
void TLauncherApplication::guarded(TStep&& fnStep)
{
    try {
        fnStep();
    } catch (const std::exception& oError) {
        failWithFileError(QString::fromUtf8(oError.what()));
    }
}

void TLauncherApplication::adoptInstanceGuard(std::unique_ptr<shared::FirstInstanceTester> pGuard)
{
    m_pInstanceGuard = std::move(pGuard);
    if (m_pInstanceGuard) {
        connect(m_pInstanceGuard.get(), &shared::FirstInstanceTester::laterStartRefused, this,
                &TLauncherApplication::onLaterStartRefused);
        m_pInstanceGuard->listenForLaterStarts();
    }
}

void TLauncherApplication::onLaterStartRefused()
{
    // While loading or behind a splash there is no window to bring back, and a
    // window closed for a client start stays closed.
    if (!m_pMainWindow || !m_pMainWindow->isVisible() || m_bEnding) {
        qInfo() << "another start was refused; no window is shown";
        return;
    }
    m_pMainWindow->showNormal();
    m_pMainWindow->raise();
    m_pMainWindow->activateWindow();
    qInfo() << "another start was refused; raised the window";
}

void TLauncherApplication::startLoadingConfiguration()
{
    m_pConfigurationHandler->startLoadingMainConfiguration();
    m_oWaitNotificationTimer.start();
}

void TLauncherApplication::onMainConfigurationLoaded()
{
    qInfo() << "main configuration loaded" << " Thread: " << QThread::currentThreadId();
    m_pFunnelReporter->setFunnelUrl(m_pConfigurationHandler->launcherConfiguration()->funnelUrl());
    const QUrl oSurveyUrl = m_pConfigurationHandler->launcherConfiguration()->hardwareSurveyUrl();
    if (oSurveyUrl.isValid()) {
        // The launcher never waits for the survey: its answer is only logged.
        auto pDocumentCreator = std::make_shared<systemsurvey::TSystemSurveyAsJsonDocumentCreator>(
            std::make_shared<systemsurvey::TSystemSurveyCreator>(std::make_shared<systemsurvey::TSystemSurveyValueRetriever>()),
            std::make_shared<systemsurvey::TSystemSurveyToJsonConverter>());
        m_pSystemSurveyUploader = std::make_unique<systemsurvey::TSystemSurveyUploader>(
            oSurveyUrl, pDocumentCreator, std::make_shared<shared::TJsonDocumentHttpPostSender>());
        connect(m_pSystemSurveyUploader.get(), &systemsurvey::TSystemSurveyUploader::finished, this,
                [this](bool bUploadSuccessful) {
                    qInfo() << "hardware survey upload" << (bUploadSuccessful ? "accepted" : "failed:")
                            << m_pSystemSurveyUploader->lastErrorMessage();
                });
        m_pSystemSurveyUploader->startUpload();
    }
    m_pConfigurationHandler->downloadPackageConfigurations();
}

void TLauncherApplication::onPackageConfigurationsFinished()
{
    m_oSinceRefresh.start();
    guarded([this] {
        for (const auto& pPackage : m_pConfigurationHandler->launcherConfiguration()->packages()) {
            if (!pPackage->platformConfiguration())
                qInfo() << "package" << pPackage->name() << "has no configuration for this platform";
        }
        const std::shared_ptr<TPackage>& pLauncher = m_pConfigurationHandler->launcherConfiguration()->launcherPackage();
        const bool bPublished = pLauncher && pLauncher->platformConfiguration();
        if (!isSkipSelfUpdate() && !bPublished)
            qWarning() << "The metadata offers no launcher build for this platform: no self-update check.";
        const QString sPublished = bPublished ? pLauncher->platformConfiguration()->version() : QString();
        if (selfUpdateWanted(isSkipSelfUpdate(), bPublished, sPublished, launcherVersion())) {
            qInfo() << "published launcher version" << sPublished << "differs from" << launcherVersion();
            // The splash first: an update refused at once ends inside startSelfUpdate, and
            // the window or box that follows must not end up beneath it.
            showSplashScreen(ESplashKind::UpdatingLauncher,
                             tr("Updating the launcher to version %1\u2026").arg(sPublished));
            m_pSelfUpdater->startSelfUpdate(pLauncher);
            return;
        }
        try {
            m_pSelfUpdater->cleanupOldLauncherVersion();
        } catch (const std::exception& oError) {
            // Leftovers of an old version cost disk space only: the run goes on.
            qWarning() << "cleanupOldLauncherVersion failed:" << oError.what();
        }
        onLauncherReadyForAction();
    });
}

const std::shared_ptr<TPackage>& TLauncherApplication::package(int nPosition) const
{
    return m_pConfigurationHandler->launcherConfiguration()->packages().at(static_cast<size_t>(nPosition));
}

std::vector<int> TLauncherApplication::forcedPatches()
{
    // Creates the packages folder when it is missing.
    m_pLauncherFilesystemHelper->packagesFolder();
    std::vector<int> lForced;
    const auto& lPackages = m_pConfigurationHandler->launcherConfiguration()->packages();
    for (size_t nPosition = 0; nPosition < lPackages.size(); ++nPosition) {
        const TPackage& oPackage = *lPackages[nPosition];
        if (!oPackage.platformConfiguration() || !m_pInstallationManager->packageFolderProblem(oPackage).isEmpty())
            continue;
        const QString sMarker = m_pLauncherFilesystemHelper->pathInsideFolder(
            m_pInstallationManager->installationFolder(oPackage), QStringLiteral("FORCE_PATCH"));
        if (QFileInfo(sMarker).isFile()) {
            m_pLauncherFilesystemHelper->deleteFile(sMarker);
            qInfo() << "forced patch of" << oPackage.name();
            lForced.push_back(static_cast<int>(nPosition));
        }
    }
    return lForced;
}

int TLauncherApplication::currentDefaultPackage() const
{
    const auto& lPackages = m_pConfigurationHandler->launcherConfiguration()->packages();
    const auto it = std::find_if(lPackages.begin(), lPackages.end(), [](const auto& pPackage) { return pPackage->isDefault(); });
    return it != lPackages.end() && (*it)->localPackageStatus() == UpToDate ? static_cast<int>(it - lPackages.begin()) : -1;
}

int TLauncherApplication::patchPackage() const
{
    const QString sPatch = patchExecutable();
    const std::shared_ptr<TPackage> pPatch = sPatch.isEmpty() ? nullptr : m_pInstallationManager->packageForExecutable(sPatch);
    const auto& lPackages = m_pConfigurationHandler->launcherConfiguration()->packages();
    const auto it = std::find(lPackages.begin(), lPackages.end(), pPatch);
    return pPatch && it != lPackages.end() ? static_cast<int>(it - lPackages.begin()) : -1;
}

void TLauncherApplication::onLauncherReadyForAction()
{
    if (m_bEnding)
        return;
    qInfo() << "onLauncherReadyForAction" << " Thread: " << QThread::currentThreadId();
    guarded([this] {
        const auto& pMetadata = m_pConfigurationHandler->launcherConfiguration();
        if (!m_pInstallationManager) {
            m_pInstallationManager = std::make_unique<TInstallationManager>(pMetadata, m_pLauncherFilesystemHelper);
            m_pInstallationManager->setFunnelEventSink(m_pFunnelReporter);
            connect(m_pInstallationManager.get(), &TInstallationManager::allStartedUpdatesFinished, this,
                    &TLauncherApplication::onAllStartedUpdatesFinished);
            connect(m_pInstallationManager.get(), &TInstallationManager::diskAccessFailed, this,
                    &TLauncherApplication::failWithFileError);
        }
        TStartupFacts oFacts;
        oFacts.m_lForcedPatches = forcedPatches();
        m_oWaitNotificationTimer.stop();
        hideSplashScreen();

        oFacts.m_bFirstLaunch = isFirstLaunch();
        oFacts.m_bShowUi = isShowUi();
        oFacts.m_bPatchRequested = !patchExecutable().isEmpty();
        oFacts.m_nPatchPackage = patchPackage();
        oFacts.m_nCurrentDefault = currentDefaultPackage();
        const auto& lPackages = pMetadata->packages();
        for (size_t nPosition = 0; nPosition < lPackages.size(); ++nPosition) {
            if (lPackages[nPosition]->installAutomatically())
                oFacts.m_lInstallAutomatically.push_back(static_cast<int>(nPosition));
        }
        const TStartupPlan oPlan = planStartup(oFacts);

        // Finishing requests must not decide before every request of this step has started.
        m_bStartingRequests = true;
        if (oPlan.m_bShowWindow)
            showMainWindow();
        if (oPlan.m_nNewDefault >= 0)
            m_pInstallationManager->setDefaultPackage(package(oPlan.m_nNewDefault));
        if (oPlan.m_bPatchNotFound)
            presentMessage(m_pMainWindow.get(), QMessageBox::Information, QStringLiteral("Client patching failed"),
                           QStringLiteral("Could not determine patch information. Your client might no longer be supported."));
        for (const int nPosition : oPlan.m_lInstall)
            m_pInstallationManager->installOrUpdatePackage(package(nPosition));
        if (oPlan.m_nStart >= 0)
            startPackageAndExit(package(oPlan.m_nStart));
        m_bStartingRequests = false;
        if ((isFirstLaunch() || !patchExecutable().isEmpty()) && !m_pInstallationManager->hasRunningInstallations())
            onAllStartedUpdatesFinished();
    });
}

void TLauncherApplication::onAllStartedUpdatesFinished()
{
    if (m_bEnding || m_bStartingRequests)
        return;
    qInfo() << "all started updates finished";
    guarded([this] {
        TUpdatesFinishedFacts oFacts;
        oFacts.m_bPreventDefaultAutostart = m_pConfigurationHandler->launcherConfiguration()->preventDefaultAutostart();
        oFacts.m_bFirstLaunch = isFirstLaunch();
        oFacts.m_nCurrentDefault = currentDefaultPackage();
        oFacts.m_nPatchPackage = patchPackage();
        // Only a client whose update went through is started; after a failure
        // its box stays up over the window.
        oFacts.m_bPatchPackageSound = oFacts.m_nPatchPackage >= 0
                                      && package(oFacts.m_nPatchPackage)->localPackageStatus() == UpToDate
                                      && package(oFacts.m_nPatchPackage)->isUpToDate();
        const int nStart = clientToStartAfterUpdates(oFacts);
        if (nStart >= 0)
            startPackageAndExit(package(nStart));
    });
}

void TLauncherApplication::showMainWindow()
{
    if (m_pMainWindow) {
        m_pMainWindow->show();
        return;
    }
    const auto& pMetadata = m_pConfigurationHandler->launcherConfiguration();
    std::vector<std::shared_ptr<TPackage>> lPackages;
    for (const auto& pPackage : pMetadata->packages()) {
        if (pPackage->platformConfiguration())
            lPackages.push_back(pPackage);
    }
    m_pMainWindow = std::make_unique<TLauncherMainWindow>(lPackages, m_pInstallationManager.get(),
                                                          pMetadata->showPackageNames(), m_pDownloadPool, m_pCdnTrace,
                                                          pMetadata, m_pFunnelReporter);
    m_pConfigurationHandler->downloadHints();
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::hintsAreaDataReceived, m_pMainWindow.get(),
            &TLauncherMainWindow::setHints);
    connect(m_pMainWindow.get(), &TLauncherMainWindow::defaultChanged, this, &TLauncherApplication::onDefaultChanged);
    connect(m_pMainWindow.get(), &TLauncherMainWindow::clientPackageButtonClicked, this,
            &TLauncherApplication::onClientStartOrInstallTriggeredFromUI);
    connect(m_pMainWindow.get(), &TLauncherMainWindow::clientPackageVerifyButtonClicked, this,
            &TLauncherApplication::onClientVerifyTriggeredFromUI);
    m_pMainWindow->setClientRunningCheck(isClientRunning);
    // Closing the window ends the run, unless a client start has taken over.
    connect(this, &QGuiApplication::lastWindowClosed, this, [this] {
        if (!m_pClientStart->isWaiting() && !m_bEnding)
            endRun(0);
    });
    m_pMainWindow->setOffline(m_pConfigurationHandler->isOffline());
    m_pMainWindow->show();
    qInfo() << "main window shown";
    // Offline the installed documents serve until the next start.
    if (m_pLauncherFilesystemHelper->settings()->metadataRefreshInterval() > 0 && !m_pConfigurationHandler->isOffline())
        m_oRefreshTimer.start();
}

void TLauncherApplication::onClientStartOrInstallTriggeredFromUI(std::shared_ptr<TPackage> pPackage)
{
    qInfo() << "onClientStartOrInstallTriggeredFromUI " << pPackage->name() << " Thread: " << QThread::currentThreadId();
    guarded([&] {
        // A client published since the last look is updated instead of started.
        if (pPackage->localPackageStatus() == UpToDate && refreshIsDue()) {
            qInfo() << "refreshing the metadata before starting" << pPackage->name();
            m_pPlayAfterRefresh = pPackage;
            refreshDocuments();
            return;
        }
        actOnPackage(pPackage);
    });
}

bool TLauncherApplication::refreshIsDue() const
{
    const qint64 nSeconds = m_pLauncherFilesystemHelper->settings()->metadataRefreshInterval();
    return nSeconds > 0 && !m_pConfigurationHandler->isOffline() && m_oSinceRefresh.isValid()
           && m_oSinceRefresh.elapsed() >= nSeconds * 1000;
}

void TLauncherApplication::refreshDocuments()
{
    if (m_bEnding || !m_pInstallationManager)
        return;
    m_pConfigurationHandler->refresh().start(m_pConfigurationHandler->launcherConfiguration(), [this](const TPackage& oPackage) {
        return !m_pInstallationManager || m_pInstallationManager->isInstalling(oPackage);
    });
}

void TLauncherApplication::onRefreshFinished(bool bSucceeded, const QString& sProblem,
                                             const std::vector<std::shared_ptr<TPackage>>& lRefreshed)
{
    if (m_bEnding)
        return;
    guarded([&] {
        if (!bSucceeded) {
            qWarning() << "metadata refresh failed, nothing changed:" << sProblem;
        } else {
            m_oSinceRefresh.restart();
            for (const std::shared_ptr<TPackage>& pPackage : lRefreshed) {
                const ELocalPackageStatus eBefore = pPackage->localPackageStatus();
                const ELocalPackageStatus eNow = m_pInstallationManager->localPackageStatus(*pPackage);
                // Set also when it stays: the item shows the version it now offers.
                pPackage->setLocalPackageStatus(eNow);
                if (eNow != eBefore)
                    qInfo().noquote() << "metadata refresh:" << pPackage->name() << "status" << eBefore << "->" << eNow;
            }
            qInfo() << "metadata refresh finished:" << lRefreshed.size() << "packages refreshed";
        }
        if (const std::shared_ptr<TPackage> pPackage = std::exchange(m_pPlayAfterRefresh, nullptr))
            actOnPackage(pPackage);
    });
}

void TLauncherApplication::actOnPackage(const std::shared_ptr<TPackage>& pPackage)
{
    guarded([&] {
        switch (pPackage->localPackageStatus()) {
        case UpToDate:
            startPackageAndExit(pPackage);
            break;
        case NotInstalled:
        case PartiallyInstalled:
        case UpdateAvailable:
            if (m_pConfigurationHandler->isOffline()) {
                qInfo() << "offline: nothing can be downloaded for" << pPackage->name();
                return;
            }
            if (isClientRunning()) {
                m_oWaitNotificationTimer.stop();
                hideSplashScreen();
                presentMessage(nullptr, QMessageBox::Warning, QStringLiteral("Corvane Online update failed"),
                               QStringLiteral("Cannot update. The client is still running. Please close the client and try again."));
                return;
            }
            m_pInstallationManager->installOrUpdatePackage(pPackage);
            break;
        default:
            break;
        }
    });
}

void TLauncherApplication::onClientVerifyTriggeredFromUI(std::shared_ptr<TPackage> pPackage)
{
    qInfo() << "onClientVerifyTriggeredFromUI " << pPackage->name() << " Thread: " << QThread::currentThreadId();
    guarded([&] {
        if (pPackage->localPackageStatus() == UpToDate)
            m_pInstallationManager->verifyPackage(pPackage);
    });
}

void TLauncherApplication::onDefaultChanged(const std::shared_ptr<TPackage>& pPackage, bool bIsDefault)
{
    guarded([&] {
        if (bIsDefault)
            m_pInstallationManager->setDefaultPackage(pPackage);
        else
            m_pInstallationManager->clearDefaultPackages();
    });
}

void TLauncherApplication::startPackageAndExit(const std::shared_ptr<TPackage>& pPackage)
{
    qInfo() << "startPackageAndExit" << pPackage->name() << " Thread: " << QThread::currentThreadId();
    // A started client ends the run, and with it every installation still
    // running: the player decides whether another package's update may stop here.
    if (m_pMainWindow && !m_pMainWindow->confirmClientStart(*pPackage)) {
        qInfo() << "the client start waits for the player's update of another package";
        return;
    }
    const QString sExecutable = m_pInstallationManager->executablePath(*pPackage);
    const auto pConfiguration = pPackage->platformConfiguration();
    const QStringList lParameters = pConfiguration ? pConfiguration->parameters() : QStringList();
    const QString sSettingsFile = m_pLauncherFilesystemHelper->joinPath(
        {m_pInstallationManager->installationFolder(*pPackage).absolutePath(), clientSettingsRelativePath()});
    const QStringList lArguments = clientArguments(lParameters, readGraphicsApi(sSettingsFile), pPackage->isUpToDate());
    const QString sProblem = clientExecutableProblem(pPackage->name(), sExecutable);
    if (!sProblem.isEmpty()) {
        endRunWithBox(m_pMainWindow.get(), QMessageBox::Critical, QStringLiteral("Corvane Online cannot start the client"),
                      sProblem);
        return;
    }
    const bool bStarted = m_pClientStart->start(sExecutable, lArguments, [this] {
        // The player clicked the splash away.
        return m_pSplashScreen && !m_pSplashScreen->isVisible();
    });
    if (!bStarted) {
        endRun(1);
        return;
    }
    if (m_pMainWindow)
        m_pMainWindow->close();
    showSplashScreen(ESplashKind::LaunchingClient);
}

void TLauncherApplication::restartAfterSelfUpdate()
{
    if (m_bEnding)
        return;
    QStringList lArguments = arguments().mid(1);
    lArguments << QStringLiteral("--%1").arg(m_oSkipSelfUpdateOption.names().constLast());
    qInfo() << "restarting" << m_sExecutablePath << lArguments;
    // The new launcher must find neither the single-instance claim nor the running marker taken,
    // and its log must not get this one's last lines.
    stopLogging();
    m_pInstanceGuard.reset();
    m_pLauncherRunningMarker.reset();
    const bool bStarted = QProcess::startDetached(m_sExecutablePath, lArguments, QDir::currentPath());
    if (!bStarted)
        qCritical() << "The updated launcher could not be started:" << m_sExecutablePath;
    endRun(bStarted ? 0 : 1);
}

void TLauncherApplication::failWithMaintenanceBox()
{
    endRunWithBox(nullptr, QMessageBox::Information, QStringLiteral("Corvane Online cannot be started"),
                  QStringLiteral("Corvane Online is currently down for maintenance. Please try again later."),
                  QMessageBox::Close, m_pConfigurationHandler->failureReason());
}

void TLauncherApplication::failWithRefusedConfiguration(const QString& sReason)
{
    endRunWithBox(nullptr, QMessageBox::Information, QStringLiteral("Corvane Online cannot be started"),
                  QStringLiteral("Corvane Online is currently down for maintenance. Please try again later.\n\n"
                                 "The signed metadata was refused: %1.")
                      .arg(sReason),
                  QMessageBox::Close);
}

void TLauncherApplication::failWithFileError(const QString& sMessage)
{
    endRunWithBox(nullptr, QMessageBox::Critical, QStringLiteral("Corvane Online cannot start"),
                  QStringLiteral("A critical error occurred while accessing a file:\n") + sMessage
                      + QStringLiteral("\nPlease reinstall Launcher."));
}

void TLauncherApplication::endRunWithBox(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                         const QString& sText, QMessageBox::StandardButtons eButtons,
                                         const QString& sDetail)
{
    if (m_bEnding)
        return;
    m_bEnding = true;
    m_oWaitNotificationTimer.stop();
    hideSplashScreen();
    if (sDetail.isEmpty()) {
        presentMessage(pParent, eIcon, sTitle, sText, eButtons);
    } else {
        // Only one button ends a run: the box just gains its reason.
        TMessage oMessage;
        oMessage.m_eIcon = eIcon;
        oMessage.m_sTitle = sTitle;
        oMessage.m_sText = sText;
        oMessage.m_sDetail = sDetail;
        oMessage.m_lButtons = QStringList{eButtons == QMessageBox::Close ? QStringLiteral("Close") : QStringLiteral("OK")};
        presentMessage(pParent, oMessage);
    }
    endRun(1);
}

void TLauncherApplication::endRun(int nExitCode)
{
    m_bEnding = true;
    m_oRefreshTimer.stop();
    qInfo() << "ending the run with exit code" << nExitCode;
    // Queued: an outcome can come before the event loop runs, when exit() alone would be lost.
    QMetaObject::invokeMethod(this, [nExitCode] { exit(nExitCode); }, Qt::QueuedConnection);
}

void TLauncherApplication::sendFunnelEvent(const QString& sStep, const QString& sFirstFlagKey)
{
    if (s_pInstance && s_pInstance->m_pFunnelReporter)
        s_pInstance->m_pFunnelReporter->sendFunnelEvent(sStep, sFirstFlagKey);
}

void TLauncherApplication::showSplashScreen(ESplashKind eKind, const QString& sMessage)
{
    if (m_pSplashScreen) {
        m_pSplashScreen->close();
        processEvents();
    }
    m_pSplashScreen = std::make_unique<QSplashScreen>(QPixmap(QLatin1String(splashImagePath(eKind))));
    if (!sMessage.isEmpty())
        m_pSplashScreen->showMessage(sMessage, Qt::AlignBottom | Qt::AlignHCenter, Qt::white);
    m_pSplashScreen->show();
    qInfo().noquote() << "splash screen shown:" << static_cast<int>(eKind) << sMessage;
    processEvents();
    m_oWaitNotificationTimer.stop();
}

void TLauncherApplication::hideSplashScreen()
{
    if (m_pSplashScreen && m_pSplashScreen->isVisible()) {
        m_pSplashScreen->hide();
        qInfo() << "splash screen hidden";
    }
}

} // namespace velmar::launcher
