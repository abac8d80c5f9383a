#include "launchermainwindow.h"

#include "clientpackagelayoutitem.h"
#include "launcher/documents/cloudflarecdntrace.h"
#include "hintrow.h"
#include "launcher/engine/installationmanager.h"
#include "launcher/engine/funneleventsink.h"
#include "launcher/documents/launcherconfigurationreader.h"
#include "launcherimages.h"
#include "launcher/documents/launcherversion.h"
#include "linklabel.h"
#include "messagepresenter.h"
#include "launcher/documents/package.h"
#include "launcher/engine/packageinstallation.h"
#include "launcher/engine/packageuninstall.h"
#include "progresstext.h"
#include "uistyle.h"
#include "windowsnapshots.h"

#include "shared/translationmanager.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace velmar::launcher {

namespace {

// "A", "A and B", "A, B and C".
QString namesInText(const QStringList& lNames)
{
    if (lNames.size() < 2)
        return lNames.value(0);
    return QStringLiteral("%1 and %2").arg(lNames.mid(0, lNames.size() - 1).join(QStringLiteral(", ")), lNames.last());
}

constexpr int kItemsPerRow = 4;

const QString kMakerSite = QStringLiteral("https://quarlix.example/");
const QString kTwitterPage = QStringLiteral("https://twitter.com/CorvaneOnline");
const QString kDiscordPage = QStringLiteral("https://discord.gg/corvaneonline");
const QString kLicenceText = QStringLiteral("https://www.gnu.org/licenses/lgpl-3.0.html");
const QString kToolkitSources = QStringLiteral("https://code.qt.io/cgit/qt/qtbase.git/");

} // namespace

TLauncherMainWindow::TLauncherMainWindow(std::vector<std::shared_ptr<TPackage>> lPackages,
                                         TInstallationManager* pInstallationManager, bool bShowPackageNames,
                                         std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                                         std::shared_ptr<TCloudflareCdnTrace> pCdnTrace,
                                         std::shared_ptr<TLauncherConfigurationReader> pLauncherMetadata,
                                         std::shared_ptr<TFunnelEventSink> pFunnelEventSink, QWidget* pParent)
    : TDraggableMainWindow(pParent)
    , m_pLauncherMetadata(std::move(pLauncherMetadata))
    , m_pInstallationManager(pInstallationManager)
    , m_pDownloadPool(std::move(pDownloadPool))
    , m_pCdnTrace(std::move(pCdnTrace))
{
    initLauncherImages();
    qRegisterMetaType<std::shared_ptr<TPackage>>("std::shared_ptr<velmar::launcher::TPackage>");
    setWindowTitle(QStringLiteral("Corvane Online"));
    // The icon of the desktop's menu, so that the task switcher shows the same.
    QIcon oIcon;
    for (const int nSize : {48, 128, 256})
        oIcon.addFile(QStringLiteral(":/images/launcher/AppIcon_%1.png").arg(nSize));
    setWindowIcon(oIcon);
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* pCentral = new QWidget(this);
    pCentral->setObjectName(QStringLiteral("launcherBackground"));
    pCentral->setAttribute(Qt::WA_StyledBackground);
    pCentral->setStyleSheet(QStringLiteral(
        "#launcherBackground { border-image: url(:/images/launcher/BackgroundImage.jpg) 0 0 450 0; "
        "border-width: 0px 0px 450px 0px; border-color: transparent; }"));
    setCentralWidget(pCentral);

    m_pMainLayout = new QVBoxLayout(pCentral);
    m_pMainLayout->setContentsMargins(0, 0, 0, 0);
    m_pMainLayout->setSpacing(0);
    m_pMainLayout->addSpacing(11);
    m_pOfflineLabel = new QLabel(QStringLiteral("Offline: showing installed games"));
    m_pOfflineLabel->setObjectName(QStringLiteral("offlineLine"));
    m_pOfflineLabel->setStyleSheet(QStringLiteral("QLabel { %1 }").arg(textStyle(11)));
    m_pOfflineLabel->hide();
    m_pMainLayout->addWidget(m_pOfflineLabel, 0, Qt::AlignHCenter);
    buildPackageArea(lPackages, bShowPackageNames);
    m_pMainLayout->addWidget(m_pPackageArea, 1);
    if (lPackages.empty())
        m_pMainLayout->addSpacing(300);
    m_pMainLayout->addSpacing(6);
    m_pHintSpacer = new QSpacerItem(700, 84, QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_pMainLayout->addItem(m_pHintSpacer);
    buildHintArea();
    m_pMainLayout->addWidget(m_pHintArea, 0, Qt::AlignHCenter);

    // The background is drawn for this one size: no maximising, no resizing.
    setFixedSize(800, qBound(450, sizeHint().height(), 600));
    if (const QScreen* pScreen = QGuiApplication::primaryScreen()) {
        const QRect oScreen = pScreen->geometry();
        move((oScreen.width() - width()) / 2, (oScreen.height() - height()) / 2);
    }

    if (lPackages.empty()) {
        showOwnMessage(QStringLiteral("Connection problem"),
                       QStringLiteral("Could not connect to the update service.\n\nPlease try again later.\n"));
    }
    if (TWindowSnapshots::enabled()) {
        connect(m_pHintRow, &THintRow::picturesSettled, this,
                [this] {
                    QTimer::singleShot(0, this, [this] {
                        if (m_pHintRow->isVisible())
                            TWindowSnapshots::take(this, QStringLiteral("hints"));
                        snapshotIdleState();
                    });
                });
        for (const auto& [nIndex, pItem] : m_hItems) {
            connect(pItem->progressBar(), &QProgressBar::valueChanged, this, [this](int nValue) {
                // Once the texts set with this value are laid out.
                if (nValue >= kProgressScale / 5)
                    QTimer::singleShot(0, this, [this] { TWindowSnapshots::take(this, QStringLiteral("installing")); });
            });
        }
    }

    if (pInstallationManager) {
        connect(pInstallationManager, &TInstallationManager::installationOrUpdateStarted, this,
                &TLauncherMainWindow::onInstallationOrUpdateStarted);
        connect(pInstallationManager, &TInstallationManager::installationOrUpdateFinished, this,
                &TLauncherMainWindow::onInstallationOrUpdateFinished);
        connect(pInstallationManager, &TInstallationManager::uninstallStarted, this,
                [this](const std::shared_ptr<TPackage>& pPackage) {
                    if (TClientPackageLayoutItem* pItem = item(pPackage->index()))
                        pItem->onUninstallStarted();
                });
        connect(pInstallationManager, &TInstallationManager::uninstallFinished, this,
                &TLauncherMainWindow::onUninstallFinished);
        for (const auto& [nIndex, pItem] : m_hItems)
            pItem->setInstallationManager(pInstallationManager);
    }

    m_lDefaultCandidates = m_pLauncherMetadata ? m_pLauncherMetadata->packages() : lPackages;
    for (const auto& pPackage : m_lDefaultCandidates) {
        if (!pPackage)
            continue;
        if (pPackage->isDefault() && m_nDefaultPackageIndex < 0)
            m_nDefaultPackageIndex = pPackage->index();
        connect(pPackage.get(), &TPackage::defaultChanged, this, &TLauncherMainWindow::showDefaultFromPackages);
    }

    if (pFunnelEventSink)
        pFunnelEventSink->sendFunnelEvent(QStringLiteral("launcher_started"), QStringLiteral("FunnelStartedFirst"));
}

TLauncherMainWindow::~TLauncherMainWindow() = default;

void TLauncherMainWindow::showEvent(QShowEvent* pEvent)
{
    TDraggableMainWindow::showEvent(pEvent);
    if (TWindowSnapshots::enabled())
        QTimer::singleShot(0, this, &TLauncherMainWindow::snapshotIdleState);
}

void TLauncherMainWindow::snapshotIdleState()
{
    if (m_hItems.empty()) {
        if (m_pMessageBox && m_pMessageBox->isVisible())
            TWindowSnapshots::take(this, QStringLiteral("connection-problem"));
        return;
    }
    bool bNoneInstalled = true;
    bool bUpdateAvailable = false;
    bool bUpdateNoted = false;
    bool bDefaultInstalled = false;
    bool bVerified = false;
    std::shared_ptr<TPackage> pInstalled;
    for (const auto& [nIndex, pItem] : m_hItems) {
        if (pItem->isBusy())
            return;
        const ELocalPackageStatus eStatus = pItem->package()->localPackageStatus();
        const QString sNote = pItem->noteLabel()->isVisible() ? pItem->noteLabel()->text() : QString();
        bNoneInstalled = bNoneInstalled && eStatus == NotInstalled;
        bUpdateAvailable = bUpdateAvailable || eStatus == UpdateAvailable;
        bUpdateNoted = bUpdateNoted || (eStatus == UpdateAvailable && sNote.startsWith(QLatin1String("from ")));
        bDefaultInstalled = bDefaultInstalled || (eStatus == UpToDate && pItem->defaultClientCheckbox()->isChecked());
        bVerified = bVerified || sNote.endsWith(QLatin1String(" files are intact"));
        if (eStatus == UpToDate && !pInstalled)
            pInstalled = pItem->package();
    }
    if (bNoneInstalled)
        TWindowSnapshots::take(this, QStringLiteral("not-installed"));
    if (bUpdateAvailable)
        TWindowSnapshots::take(this, QStringLiteral("update-available"));
    // With the hint row's pictures, which come after the window is shown.
    if (bUpdateNoted && m_pHintRow->isVisible() && !m_pHintRow->picturesPending())
        TWindowSnapshots::take(this, QStringLiteral("update"));
    if (bDefaultInstalled)
        TWindowSnapshots::take(this, QStringLiteral("installed-default"));
    if (bVerified)
        TWindowSnapshots::take(this, QStringLiteral("verify-result"));
    if (m_pOfflineLabel->isVisible())
        TWindowSnapshots::take(this, QStringLiteral("offline"));
    // The script's window of many packages, more than a row holds.
    if (m_hItems.size() == 6)
        TWindowSnapshots::take(this, QStringLiteral("six-packages"));
    if (pInstalled && TWindowSnapshots::verifyRequested())
        emit clientPackageVerifyButtonClicked(pInstalled);
}

void TLauncherMainWindow::snapshotDownloadState()
{
    for (const auto& [nIndex, pItem] : m_hItems) {
        if (!pItem->isBusy() || !pItem->noteLabel()->isVisible())
            continue;
        const QString sNote = pItem->noteLabel()->text();
        if (sNote.endsWith(QLatin1String(" left")))
            TWindowSnapshots::take(this, QStringLiteral("time-left"));
        else if (sNote == QStringLiteral("Waiting for the server\u2026"))
            TWindowSnapshots::take(this, QStringLiteral("waiting-for-server"));
    }
}

void TLauncherMainWindow::buildPackageArea(const std::vector<std::shared_ptr<TPackage>>& lPackages,
                                           bool bShowPackageNames)
{
    auto* pGridRowWidget = new QWidget;
    pGridRowWidget->setObjectName(QStringLiteral("packageGrid"));
    pGridRowWidget->setStyleSheet(QStringLiteral("#packageGrid { background: transparent; }"));
    auto* pGridRow = new QHBoxLayout(pGridRowWidget);
    pGridRow->setContentsMargins(0, 0, 0, 0);
    auto* pGrid = new QGridLayout;
    pGridRow->addStretch(1);
    pGridRow->addLayout(pGrid, 2);
    pGridRow->addStretch(1);

    int nRow = 0;
    int nColumn = 0;
    for (const auto& pPackage : lPackages) {
        if (!pPackage)
            continue;
        auto* pItem = new TClientPackageLayoutItem(pPackage, bShowPackageNames);
        m_hItems[pPackage->index()] = pItem;
        pItem->defaultClientCheckbox()->setChecked(pPackage->isDefault());
        pGrid->addLayout(pItem, nRow, nColumn, 1, 1);
        connect(pItem, &TClientPackageLayoutItem::defaultChanged, this,
                &TLauncherMainWindow::onDefaultClientPackageCheckboxChanged);
        connect(pItem, &TClientPackageLayoutItem::buttonClicked, this, &TLauncherMainWindow::clientPackageButtonClicked);
        connect(pItem, &TClientPackageLayoutItem::verifyButtonClicked, this,
                &TLauncherMainWindow::clientPackageVerifyButtonClicked);
        connect(pItem, &TClientPackageLayoutItem::uninstallButtonClicked, this, &TLauncherMainWindow::onUninstallRequested);
        if (++nColumn == kItemsPerRow) {
            nColumn = 0;
            ++nRow;
        }
    }

    // Many packages scroll inside the window, whose height is bounded.
    m_pPackageArea = new QScrollArea;
    m_pPackageArea->setObjectName(QStringLiteral("packageArea"));
    m_pPackageArea->setFrameShape(QFrame::NoFrame);
    m_pPackageArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pPackageArea->setWidgetResizable(true);
    m_pPackageArea->setStyleSheet(QStringLiteral("#packageArea { background: transparent; }\n%1").arg(scrollBarStyle()));
    m_pPackageArea->viewport()->setAutoFillBackground(false);
    m_pPackageArea->setWidget(pGridRowWidget);
    const int nOneRow = pGrid->rowCount() > 0 ? pGridRowWidget->sizeHint().height() / pGrid->rowCount() : 0;
    m_pPackageArea->setMinimumHeight(std::min(pGridRowWidget->sizeHint().height(), nOneRow + 8));
    m_pPackageArea->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

QLayout* TLauncherMainWindow::buildBottomBar()
{
    auto* pBar = new QHBoxLayout;
    pBar->setContentsMargins(8, 8, 8, 8);

    auto* pMakerLogo = makeLinkLabel(kMakerSite, QStringLiteral(":/images/launcher/QuarlixLogo.png"), kMakerSite, true);
    pBar->addWidget(pMakerLogo, 0, Qt::AlignLeft | Qt::AlignVCenter);
    pBar->addStretch(1);
    pBar->addWidget(makeLinkLabel(kTwitterPage, QStringLiteral(":/images/launcher/Twitter.png"),
                                  QStringLiteral("Follow us on Twitter"), true));
    pBar->addSpacing(6);
    pBar->addWidget(makeLinkLabel(kDiscordPage, QStringLiteral(":/images/launcher/Discord.png"),
                                  QStringLiteral("Follow us on Discord"), true));
    pBar->addStretch(1);

    QLabel* pAbout = makeLinkLabel(QStringLiteral("about"), QStringLiteral(":/images/launcher/icircle.png"),
                                   QStringLiteral("About"), false);
    pAbout->setObjectName(QStringLiteral("aboutLink"));
    connect(pAbout, &QLabel::linkActivated, this, &TLauncherMainWindow::onAboutDialogRequested);
    pBar->addWidget(pAbout);
    auto* pVersion = new QLabel(QStringLiteral("v") + launcherVersion());
    pVersion->setStyleSheet(QStringLiteral("QLabel { %1 }").arg(textStyle(11)));
    pBar->addWidget(pVersion);
    return pBar;
}

void TLauncherMainWindow::buildHintArea()
{
    m_pHintArea = new QGroupBox;
    m_pHintArea->setObjectName(QStringLiteral("hintArea"));
    m_pHintArea->setAlignment(Qt::AlignHCenter);
    m_pHintArea->setMinimumWidth(780);
    m_pHintArea->setMaximumWidth(790);
    m_pHintArea->setStyleSheet(
        QStringLiteral("#hintArea { border-image: url(:/images/launcher/hint-background.png) 5 5 0 5 repeat; "
                       "border: 5px transparent; background-attachment: fixed; %1 }\n"
                       "#hintArea::title { color: #DADABC; margin-top: 2px; background: transparent; }")
            .arg(textStyle(11)));

    // Owned by the group box from the start; it joins the box's layout with the first hints.
    m_pHintRow = new THintRow(m_pDownloadPool, m_pHintArea);
    m_pHintRow->hide();
    auto* pLayout = new QVBoxLayout(m_pHintArea);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addLayout(buildBottomBar());
    m_pHintArea->show();
}

void TLauncherMainWindow::setOffline(bool bOffline)
{
    m_pOfflineLabel->setVisible(bOffline);
    for (const auto& [nIndex, pItem] : m_hItems)
        pItem->setOffline(bOffline);
    if (bOffline)
        qInfo() << "Offline: showing installed games:" << m_hItems.size();
}

TClientPackageLayoutItem* TLauncherMainWindow::item(qint32 nPackageIndex) const
{
    const auto itItem = m_hItems.find(nPackageIndex);
    return itItem == m_hItems.end() ? nullptr : itItem->second;
}

void TLauncherMainWindow::setHints(std::vector<shared::THint> Hints)
{
    m_pHintArea->hide();
    auto* pLayout = static_cast<QVBoxLayout*>(m_pHintArea->layout());
    if (!Hints.empty() && pLayout->indexOf(m_pHintRow) < 0) {
        pLayout->insertWidget(0, m_pHintRow, 0, Qt::AlignHCenter);
        pLayout->setContentsMargins(0, 0, 0, 0);
    }
    const bool bComplete = m_pHintRow->showHints(Hints);
    if (bComplete && m_pHintSpacer) {
        m_pMainLayout->removeItem(m_pHintSpacer);
        delete m_pHintSpacer;
        m_pHintSpacer = nullptr;
    }
    m_pHintRow->setVisible(bComplete);
    m_pHintArea->show();
}

void TLauncherMainWindow::onDefaultClientPackageCheckboxChanged(std::shared_ptr<TPackage> pPackage, bool IsDefault)
{
    if (!pPackage)
        return;
    const bool bIsTheDefault = pPackage->index() == m_nDefaultPackageIndex;
    if (IsDefault == bIsTheDefault)
        return;
    setDefault(pPackage, IsDefault);
    emit defaultChanged(pPackage, IsDefault);
    if (TWindowSnapshots::enabled())
        QTimer::singleShot(0, this, &TLauncherMainWindow::snapshotIdleState);
}

void TLauncherMainWindow::setDefault(std::shared_ptr<TPackage> pPackage, bool IsDefault)
{
    if (!pPackage)
        return;
    m_nDefaultPackageIndex = IsDefault ? pPackage->index() : -1;
    for (const auto& [nIndex, pItem] : m_hItems) {
        QCheckBox* pCheckbox = pItem->defaultClientCheckbox();
        if (nIndex == pPackage->index())
            pCheckbox->setChecked(IsDefault);
        else if (pCheckbox->isChecked())
            pCheckbox->setChecked(false);
    }
}

void TLauncherMainWindow::showDefaultFromPackages()
{
    for (const auto& pPackage : m_lDefaultCandidates) {
        if (pPackage && pPackage->isDefault()) {
            setDefault(pPackage, true);
            return;
        }
    }
    m_nDefaultPackageIndex = -1;
    for (const auto& [nIndex, pItem] : m_hItems)
        pItem->defaultClientCheckbox()->setChecked(false);
}

void TLauncherMainWindow::onInstallationOrUpdateStarted(std::shared_ptr<TPackageInstallation> InstallationInProgress)
{
    if (!InstallationInProgress || !InstallationInProgress->package())
        return;
    m_lRunning.push_back(InstallationInProgress);
    const TPackageInstallation* pRunning = InstallationInProgress.get();
    connect(pRunning, &TPackageInstallation::pausedChanged, this, [this, pRunning](bool bPaused) {
        if (bPaused)
            m_lPaused.insert(pRunning);
        else
            m_lPaused.remove(pRunning);
    });
    if (TClientPackageLayoutItem* pItem = item(InstallationInProgress->package()->index())) {
        pItem->onInstallationOrUpdateStarted(InstallationInProgress);
        // After the item's own handler; the notes it set are laid out by then.
        if (TWindowSnapshots::enabled())
            connect(pRunning, &TPackageInstallation::progress, this,
                    [this] { QTimer::singleShot(0, this, &TLauncherMainWindow::snapshotDownloadState); });
    } else {
        qInfo() << "onInstallationOrUpdateStarted: no item shows" << InstallationInProgress->package()->name();
    }
}

void TLauncherMainWindow::onInstallationOrUpdateFinished(std::shared_ptr<TPackageInstallation> InstallationInProgress)
{
    if (!InstallationInProgress || !InstallationInProgress->package())
        return;
    m_lRunning.erase(std::remove(m_lRunning.begin(), m_lRunning.end(), InstallationInProgress), m_lRunning.end());
    m_lPaused.remove(InstallationInProgress.get());
    disconnect(InstallationInProgress.get(), &TPackageInstallation::pausedChanged, this, nullptr);
    disconnect(InstallationInProgress.get(), &TPackageInstallation::progress, this, nullptr);
    const QString sName = InstallationInProgress->package()->name();
    qInfo() << "onInstallationOrUpdateFinished package: " << sName
            << " error reason: " << InstallationInProgress->errorReason() << " Thread: " << QThread::currentThreadId();
    TClientPackageLayoutItem* pItem = item(InstallationInProgress->package()->index());
    if (!pItem) {
        qInfo() << "onInstallationOrUpdateFinished: no item shows" << sName;
        return;
    }
    pItem->onInstallationOrUpdateFinished(InstallationInProgress);
    if (TWindowSnapshots::enabled())
        QTimer::singleShot(0, this, &TLauncherMainWindow::snapshotIdleState);

    switch (InstallationInProgress->errorReason()) {
    case DownloadFailed:
        m_pDownloadFailedPackage = InstallationInProgress->package();
        m_sDownloadFailedReason = InstallationInProgress->errorMessage();
        showDownloadFailedMessage(sName);
        break;
    case SavingFailed:
        presentMessage(this, QMessageBox::Critical, QStringLiteral("Installation failed"),
                       QStringLiteral("The installation of %1 failed.\n\nMake sure you have enough free disk space and "
                                      "the application isn't currently running, then try again.")
                           .arg(sName));
        break;
    case VerificationFailed:
        offerRepair(InstallationInProgress);
        break;
    case InvalidPackage:
        // Refused before anything changed: the reason is all the player can act on.
        presentMessage(this, QMessageBox::Critical, QStringLiteral("Installation failed"),
                       QStringLiteral("The installation of %1 failed.\n\n%2").arg(sName, InstallationInProgress->errorMessage()));
        break;
    case FolderInUse:
        presentMessage(this, QMessageBox::Critical, QStringLiteral("Installation failed"),
                       QStringLiteral("%1 is being changed by another program. Try again when it has finished.").arg(sName));
        break;
    default:
        break;
    }
}

void TLauncherMainWindow::setClientRunningCheck(const std::function<bool()>& fnClientRunning)
{
    m_fnClientRunning = fnClientRunning;
    for (const auto& [nIndex, pItem] : m_hItems)
        pItem->setClientRunningCheck(fnClientRunning);
}

void TLauncherMainWindow::setFreeSpaceProbe(const std::function<std::optional<shared::TFileSize>(const QString&)>& fnProbe)
{
    for (const auto& [nIndex, pItem] : m_hItems)
        pItem->setFreeSpaceProbe(fnProbe);
}

void TLauncherMainWindow::onUninstallRequested(std::shared_ptr<TPackage> pPackage)
{
    TClientPackageLayoutItem* pItem = pPackage ? item(pPackage->index()) : nullptr;
    // The menu offered it a moment ago; what counts is how things stand now.
    if (!m_pInstallationManager || !pItem || pItem->isBusy() || (m_fnClientRunning && m_fnClientRunning()))
        return;
    const QString sName = pPackage->name();
    std::shared_ptr<TPackageUninstall> pPlan;
    try {
        pPlan = m_pInstallationManager->planUninstall(*pPackage);
    } catch (const std::exception& oError) {
        presentMessage(this, QMessageBox::Critical, QStringLiteral("Uninstall failed"),
                       QStringLiteral("%1 cannot be uninstalled.\n\n%2").arg(sName, QString::fromUtf8(oError.what())));
        return;
    }
    const QMessageBox::StandardButton eAnswer = presentMessage(
        this, QMessageBox::Question, QStringLiteral("Uninstall %1").arg(sName),
        QStringLiteral("Uninstall %1? This deletes its %2 files and frees %3 on disk.\n\n"
                       "Files of your own in its folder stay.")
            .arg(sName)
            .arg(pPlan->fileCount())
            .arg(sizeText(pPlan->bytesFreed())),
        QMessageBox::Yes | QMessageBox::No);
    if (eAnswer != QMessageBox::Yes)
        return;
    if (!m_pInstallationManager->uninstallPackage(pPackage, pPlan))
        qInfo() << "The uninstall of" << sName << "was not started: the package is busy";
}

void TLauncherMainWindow::onUninstallFinished(const std::shared_ptr<TPackage>& pPackage, const QString& sError)
{
    if (TClientPackageLayoutItem* pItem = item(pPackage->index()))
        pItem->onUninstallFinished();
    if (!sError.isEmpty())
        presentMessage(this, QMessageBox::Critical, QStringLiteral("Uninstall failed"),
                       QStringLiteral("%1 could not be uninstalled completely.\n\n%2").arg(pPackage->name(), sError));
}

void TLauncherMainWindow::offerRepair(const std::shared_ptr<TPackageInstallation>& pInstallation)
{
    TMessage oMessage;
    oMessage.m_eIcon = QMessageBox::Critical;
    oMessage.m_sTitle = QStringLiteral("Installation failed");
    oMessage.m_sText = QStringLiteral("The installation of %1 failed.\n\nVerification of game data failed!")
                           .arg(pInstallation->package()->name());
    oMessage.m_sDetail = pInstallation->fileFault().isSet() ? pInstallation->fileFault().text() : pInstallation->errorMessage();
    const QString sRepair = QStringLiteral("Repair now");
    oMessage.m_lButtons = QStringList{sRepair, QStringLiteral("OK")};
    if (presentMessage(this, oMessage) != sRepair)
        return;
    // The road of the package's own button, checks and all; later, as the
    // request that failed is still ending.
    const std::shared_ptr<TPackage> pPackage = pInstallation->package();
    QMetaObject::invokeMethod(this, [this, pPackage] { emit clientPackageButtonClicked(pPackage); }, Qt::QueuedConnection);
}

void TLauncherMainWindow::tryDownloadAgain()
{
    if (!m_pDownloadFailedPackage)
        return;
    qInfo() << "trying the installation of" << m_pDownloadFailedPackage->name() << "again";
    emit clientPackageButtonClicked(m_pDownloadFailedPackage);
}

void TLauncherMainWindow::closeEvent(QCloseEvent* pEvent)
{
    const bool bFetching = std::any_of(m_lRunning.begin(), m_lRunning.end(), [this](const auto& pInstallation) {
        return !m_lPaused.contains(pInstallation.get());
    });
    if (bFetching && !m_bEndingInstallationsAgreed
        && presentMessage(this, QMessageBox::Question, QStringLiteral("Corvane Online"),
                          QStringLiteral("An installation is still running. Close the launcher anyway? "
                                         "What it has fetched is kept."),
                          QMessageBox::Yes | QMessageBox::No)
               != QMessageBox::Yes) {
        pEvent->ignore();
        return;
    }
    TDraggableMainWindow::closeEvent(pEvent);
}

bool TLauncherMainWindow::confirmClientStart(const TPackage& oStarting)
{
    QStringList lUpdating;
    for (const auto& pInstallation : m_lRunning) {
        if (pInstallation->package()->name() != oStarting.name() && !lUpdating.contains(pInstallation->package()->name()))
            lUpdating << pInstallation->package()->name();
    }
    if (!lUpdating.isEmpty()) {
        const QString sText
            = QStringLiteral("%1 %2 still being updated. Start %3 anyway? What it has fetched is kept; "
                             "choose Update next time to finish it.")
                  .arg(namesInText(lUpdating), lUpdating.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                       oStarting.name());
        if (presentMessage(this, QMessageBox::Question, QStringLiteral("Corvane Online"), sText,
                           QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
            return false;
    }
    // The window closes for the client without asking again.
    m_bEndingInstallationsAgreed = true;
    return true;
}

void TLauncherMainWindow::showDownloadFailedMessage(const QString& sPackageName)
{
    m_sDownloadFailedPackage = sPackageName;
    QString sDiagnostics;
    if (m_pCdnTrace && !m_pCdnTrace->isReceived() && !m_pCdnTrace->isFailed()) {
        m_pCdnTrace->requestTrace();
        if (!m_pCdnTrace->isReceived() && !m_pCdnTrace->isFailed()) {
            // Only this window's own handler goes: the trace has other listeners.
            if (!m_oTraceConnection) {
                m_oTraceConnection = connect(m_pCdnTrace.get(), &TCloudflareCdnTrace::diagnosticsTraceReceived, this,
                                             [this] {
                                                 disconnect(m_oTraceConnection);
                                                 m_oTraceConnection = {};
                                                 if (m_pMessageBox && m_pMessageBox->isVisible())
                                                     showDownloadFailedMessage(m_sDownloadFailedPackage);
                                             });
            }
            sDiagnostics = QStringLiteral("Loading, please wait...");
        }
    }
    if (m_pCdnTrace && m_pCdnTrace->isReceived())
        sDiagnostics = m_pCdnTrace->summary();
    else if (!m_pCdnTrace || m_pCdnTrace->isFailed())
        sDiagnostics = QStringLiteral("Failed to obtain information.");
    showOwnMessage(QStringLiteral("Download failed"),
                   QStringLiteral("The installation of %1 failed.\n\nNot all files necessary could be downloaded. "
                                  "Please try again later.\n\nDiagnostic information: %2")
                       .arg(sPackageName, sDiagnostics),
                   m_sDownloadFailedReason, true);
}

void TLauncherMainWindow::showOwnMessage(const QString& sTitle, const QString& sText, const QString& sDetail,
                                         bool bOfferTryAgain)
{
    if (!m_pMessageBox) {
        m_pMessageBox = new QMessageBox(this);
        m_pMessageBox->setWindowModality(Qt::NonModal);
        m_pMessageBox->setStandardButtons(QMessageBox::Ok);
        m_pTryAgainButton = m_pMessageBox->addButton(QStringLiteral("Try again"), QMessageBox::AcceptRole);
        m_pMessageBox->setDefaultButton(QMessageBox::Ok);
        connect(m_pTryAgainButton, &QPushButton::clicked, this, &TLauncherMainWindow::tryDownloadAgain);
    }
    m_pTryAgainButton->setVisible(bOfferTryAgain);
    m_pMessageBox->setIcon(QMessageBox::Critical);
    m_pMessageBox->setText(sText);
    m_pMessageBox->setInformativeText(sDetail);
    showOpenMessage(*m_pMessageBox, sTitle);
}

void TLauncherMainWindow::onAboutDialogRequested(const QString&)
{
    const QString sTitle = shared::TTranslationManager::text("launcher.about.title", QStringLiteral("About Corvane Online"));
    const QString sText =
        shared::TTranslationManager::text(
            "launcher.about.text",
            // Addresses stand in paragraphs of their own that never wrap: a
            // narrow box would otherwise break them at a slash.
            QStringLiteral("<p><b>Launcher version %7</b></p>"
                           "<p>Copyright &copy; %1&ndash;%2 Quarlix GmbH.</p>"
                           "<p>This program uses the Qt toolkit under the GNU Lesser General Public License version 3:</p>"
                           "<p style=\"white-space: nowrap\"><a href=\"%3\">%4</a></p><p>Its sources:</p>"
                           "<p style=\"white-space: nowrap\"><a href=\"%5\">%6</a></p>"))
            .arg(QStringLiteral("2002"), QString::number(QDate::currentDate().year()), kLicenceText, kLicenceText,
                 kToolkitSources, kToolkitSources, launcherVersion().toHtmlEscaped());
    presentMessage(this, QMessageBox::Information, sTitle, sText);
}

} // namespace velmar::launcher
