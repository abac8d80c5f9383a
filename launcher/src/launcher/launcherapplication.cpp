#include "launcherapplication.h"

#include "launcherversion.h"

#include "package.h"
#include "packagebuild.h"
#include "packageconfigurationreader.h"

#include "shared/downloadpool.h"
#include "shared/jsondocumenthttppostsender.h"
#include "shared/qnetworkaccessmanagerwrapper.h"
#include "systemsurvey/systemsurveyasjsondocumentcreator.h"
#include "systemsurvey/systemsurveycreator.h"
#include "systemsurvey/systemsurveytojsonconverter.h"
#include "systemsurvey/systemsurveyuploader.h"
#include "systemsurvey/systemsurveyvalueretriever.h"

#include <QDebug>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPixmap>
#include <QSplashScreen>
#include <QThread>

namespace velmar::launcher {

TLauncherApplication* TLauncherApplication::s_pInstance = nullptr;

TLauncherApplication::TLauncherApplication(int& nArgc, char** ppArgv)
    : QApplication(nArgc, ppArgv)
    , m_pNetworkAccessManager(std::make_shared<QNetworkAccessManager>())
    , m_pNetworkAccessManagerWrapper(std::make_shared<shared::QNetworkAccessManagerWrapper>(m_pNetworkAccessManager))
    , m_pDownloadPool(std::make_shared<shared::TDownloadPool>(6, m_pNetworkAccessManagerWrapper, nullptr, true))
    , m_pLauncherFilesystemHelper(std::make_shared<TLauncherFilesystemHelper>())
    , m_pConfigurationHandler(std::make_unique<TLauncherConfigurationHandler>(m_pDownloadPool, m_pLauncherFilesystemHelper))
    , m_oFirstLaunchOption({QStringLiteral("l"), QStringLiteral("first-launch")},
                           QStringLiteral("Automatically download default packages when starting up."))
    , m_oSkipSelfUpdateOption({QStringLiteral("s"), QStringLiteral("skip-selfupdate")},
                              QStringLiteral("Do not perform self-update check on launch."))
    , m_oShowUiOption({QStringLiteral("u"), QStringLiteral("show-ui")},
                      QStringLiteral("Show list of available packages after intial checks."))
    , m_oPatchOption({QStringLiteral("p"), QStringLiteral("patch")},
                     QStringLiteral("Start update of <patchexecutable> without user interaction."),
                     QStringLiteral("patchexecutable"))
    , m_oLauncherRunningMarker(launcherRunningMarkerName(), true)
{
    m_oCommandLineParser.addOption(m_oFirstLaunchOption);
    m_oCommandLineParser.addOption(m_oSkipSelfUpdateOption);
    m_oCommandLineParser.addOption(m_oShowUiOption);
    m_oCommandLineParser.addOption(m_oPatchOption);
    s_pInstance = this;

    setApplicationName(QStringLiteral("Corvane Online"));
    setApplicationDisplayName(QStringLiteral("Corvane Online"));
    setOrganizationName(QStringLiteral("Quarlix GmbH"));
    setOrganizationDomain(QStringLiteral("quarlix.example"));

    m_oWaitNotificationTimer.setSingleShot(true);
    m_oWaitNotificationTimer.setInterval(
        static_cast<int>(m_pLauncherFilesystemHelper->settings()->waitNotificationTimeout()));
    connect(&m_oWaitNotificationTimer, &QTimer::timeout, this, [this] { showSplashScreen(Loading); });

    readAccountGroupKey();

    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::mainConfigurationDownloadFailed, this,
            [] { qCritical() << "Main configuration could not be loaded."; });
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::diskAccessFailed, this,
            [](const QString& sErrorMessage) { qCritical() << "Disk access failed:" << sErrorMessage; });
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::mainConfigurationLoaded, this,
            &TLauncherApplication::onMainConfigurationLoaded);
    connect(m_pConfigurationHandler.get(), &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished, this,
            &TLauncherApplication::onPackageConfigurationsFinished);

    // Unknown options and stray arguments are ignored: parse, never process.
    m_oCommandLineParser.parse(arguments());
}

TLauncherApplication::~TLauncherApplication()
{
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

void TLauncherApplication::onMainConfigurationLoaded()
{
    qInfo() << "main configuration loaded" << " Thread: " << QThread::currentThreadId();
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
    for (const auto& pPackage : m_pConfigurationHandler->launcherConfiguration()->packages()) {
        const TPackageBuild* pBuild = pPackage->platformBuild();
        const auto pConfiguration = pBuild ? pBuild->configuration() : nullptr;
        if (!pConfiguration) {
            qInfo() << "package" << pPackage->name() << "has no configuration for this platform";
            continue;
        }
        qInfo() << "package" << pPackage->name() << pConfiguration->versionLabel() << "files:"
                << pConfiguration->files().size() << "chunks:" << pConfiguration->chunks().size();
    }
}

void TLauncherApplication::sendFunnelEvent(const QString& sStep, const QString&)
{
    if (!s_pInstance)
        return;
    qInfo() << "sendFunnelEvent: " << sStep;
}

void TLauncherApplication::readAccountGroupKey()
{
    const QJsonObject oGroup = m_pLauncherFilesystemHelper->readAccountGroup();
    const QJsonValue oKey = oGroup.value(QStringLiteral("Key"));
    if (!oGroup.isEmpty() && oKey.isString()) {
        m_sAccountGroupKey = oKey.toString();
        return;
    }
    if (oGroup.isEmpty())
        qWarning() << "AccountGroupSetting Error: Empty";
    else if (oKey.isUndefined())
        qWarning() << "AccountGroupSetting Error: KeyNotExists";
    else if (!oKey.isString())
        qWarning() << "AccountGroupSetting Error: KeyNoString";
    else
        qWarning() << "AccountGroupSetting Error: Unknown";
}

void TLauncherApplication::startLoadingConfiguration()
{
    m_pConfigurationHandler->startLoadingMainConfiguration();
    m_oWaitNotificationTimer.start();
}

void TLauncherApplication::showSplashScreen(int nKind)
{
    if (m_pSplashScreen) {
        m_pSplashScreen->close();
        processEvents();
    }
    m_pSplashScreen = std::make_unique<QSplashScreen>(QPixmap(QLatin1String(splashImagePath(nKind))));
    m_pSplashScreen->show();
    processEvents();
    m_oWaitNotificationTimer.stop();
}

void TLauncherApplication::hideSplashScreen()
{
    if (m_pSplashScreen)
        m_pSplashScreen->hide();
}

} // namespace velmar::launcher
