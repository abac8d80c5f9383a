#include "clientpackagelayoutitem.h"

#include "launcherimages.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "packagebuttonlook.h"
#include "launcher/engine/installationmanager.h"
#include "launcher/engine/packageinstallation.h"
#include "progresstext.h"
#include "qcontextpushbutton.h"
#include "uistyle.h"

#include "shared/freespace.h"
#include "shared/gui/weblink.h"

#include <QAction>
#include <QCheckBox>
#include <QDebug>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>

namespace velmar::launcher {

namespace {

constexpr int kButtonWidth = 98;
constexpr int kButtonHeight = 40;
// The width inside the panel at its narrowest, so that a note never widens it.
constexpr int kNoteWidth = 106;
// The lines kept for a note: "from 1.0.0 · up to 823.4 MB to download" wraps into three.
constexpr int kNoteLines = 3;
// Without a byte for this long a download says it waits rather than look frozen.
constexpr qint64 kStallNoteMilliseconds = 5000;
constexpr auto kDownloadNoteColour = "#DADABC";
// The room a name or version has in the panel, within its width less its
// border and the margins of its layout.
constexpr int kNameWidth = 104;

// A name or version too long for the card ends in "…" rather than widening it.
void setShortenedText(QLabel& oLabel, const QString& sText)
{
    // The style sheet's font is the label's only once it is polished.
    oLabel.ensurePolished();
    oLabel.setText(oLabel.fontMetrics().elidedText(sText, Qt::ElideRight, kNameWidth));
}

QSize pictureSize(const QString& sPath, const QSize& oFallback)
{
    const QSize oSize = QPixmap(sPath).size();
    return oSize.isEmpty() ? oFallback : oSize;
}

} // namespace

TClientPackageLayoutItem::TClientPackageLayoutItem(std::shared_ptr<TPackage> pPackage, bool bShowPackageName)
    : m_pPackage(std::move(pPackage))
    , m_pDefaultClientCheckbox(new QCheckBox(QStringLiteral("Default Client")))
    , m_pLogoLabel(new QLabel)
    , m_pVersionLabel(new QLabel)
    , m_pNoteLabel(new QLabel)
    , m_pButton(new QContextPushButton)
    , m_pProgressBar(new QProgressBar)
    , m_pPanel(new QGroupBox)
    , m_pPauseAction(new QAction(QStringLiteral("Pause"), m_pProgressBar))
    , m_pResumeAction(new QAction(QStringLiteral("Resume"), m_pProgressBar))
    , m_fnNow([this] { return m_oClock.elapsed(); })
    , m_fnFreeSpace(shared::freeSpaceAt)
{
    initLauncherImages();
    // Sized by the package logos themselves, which all share one size.
    m_pLogoLabel->setFixedSize(pictureSize(QStringLiteral(":/images/launcher/CorvaneLogo_QT.png"), QSize(176, 96)));
    m_pLogoLabel->setAlignment(Qt::AlignCenter);
    connect(m_pLogoLabel, &QLabel::linkActivated, m_pLogoLabel, [](const QString& sLink) { shared::openWebLink(QUrl(sLink)); });
    updatePackageImageFromPackageStatus();

    m_pButton->setFixedSize(pictureSize(QStringLiteral(":/images/launcher/Button_Blue_idle.png"),
                                        QSize(kButtonWidth, kButtonHeight)));
    updateButtonFromPackageStatus();
    connect(m_pButton, &QPushButton::clicked, this, [this] { emit buttonClicked(m_pPackage); });
    connect(m_pButton, &QContextPushButton::contextTriggered, this, &TClientPackageLayoutItem::onContextAction);
    // Decided as the menu opens: a client may have started since the last refresh.
    connect(m_pButton->menu(), &QMenu::aboutToShow, this, [this] {
        const bool bMayUninstall = !m_bBusy && !(m_fnClientRunning && m_fnClientRunning());
        for (QAction* pAction : m_pButton->menu()->actions()) {
            if (pAction->text() == kUninstallAction)
                pAction->setVisible(bMayUninstall);
        }
    });

    m_pProgressBar->setFixedSize(m_pButton->size());
    m_pProgressBar->setRange(0, 100);
    m_pProgressBar->setValue(0);
    m_pProgressBar->setTextVisible(true);
    m_pProgressBar->setAlignment(Qt::AlignCenter);
    m_pProgressBar->setStyleSheet(
        QStringLiteral("QProgressBar { border-image: url(:/images/launcher/ProgressBar_BG.png); %1 text-align: center; "
                       "border: 2px; }\nQProgressBar::chunk { border-image: url(:/images/launcher/ProgressBar.png); }")
            .arg(textStyle(13)));
    m_pProgressBar->addAction(m_pPauseAction);
    m_pProgressBar->addAction(m_pResumeAction);
    connect(m_pPauseAction, &QAction::triggered, this, [this] {
        if (m_pInstallation)
            m_pInstallation->pause();
    });
    connect(m_pResumeAction, &QAction::triggered, this, [this] {
        if (m_pInstallation)
            m_pInstallation->resume();
    });
    updatePauseActions();

    const QString sLabelStyle = QStringLiteral("QLabel { %1 }").arg(textStyle(13));
    if (bShowPackageName) {
        m_pNameLabel = new QLabel;
        m_pNameLabel->setStyleSheet(sLabelStyle);
    }
    m_pVersionLabel->setStyleSheet(sLabelStyle);
    m_pNoteLabel->setVisible(false);
    // An update's note ("from 1.0.0 · 23.4 MB to download") wraps rather than
    // widening the panel: four panels share a row. Its lines stay reserved
    // while it is hidden, so that no state makes the card grow or shrink.
    m_pNoteLabel->setWordWrap(true);
    m_pNoteLabel->setAlignment(Qt::AlignCenter);
    m_pNoteLabel->setStyleSheet(QStringLiteral("QLabel { %1 }").arg(textStyle(11)));
    m_pNoteLabel->ensurePolished();
    m_pNoteLabel->setFixedSize(kNoteWidth, kNoteLines * m_pNoteLabel->fontMetrics().lineSpacing());
    QSizePolicy oKeepNoteSpace = m_pNoteLabel->sizePolicy();
    oKeepNoteSpace.setRetainSizeWhenHidden(true);
    m_pNoteLabel->setSizePolicy(oKeepNoteSpace);
    updatePackageNameAndVersion();

    QSizePolicy oKeepSpace = m_pDefaultClientCheckbox->sizePolicy();
    oKeepSpace.setRetainSizeWhenHidden(true);
    m_pDefaultClientCheckbox->setSizePolicy(oKeepSpace);
    m_pDefaultClientCheckbox->setStyleSheet(
        QStringLiteral("QCheckBox { %1 }\nQCheckBox::indicator:unchecked { image: url(:/images/launcher/checkbox-unchecked.png); }\n"
                       "QCheckBox::indicator:checked { image: url(:/images/launcher/checkbox-checked.png); }")
            .arg(textStyle(13)));
    m_pDefaultClientCheckbox->setToolTip(
        QStringLiteral("Ticked, starting Corvane Online goes straight into this game, without this window.\n"
                       "To get back here, choose \"Open the launcher\" in the launcher's menu entry "
                       "(corvane-launcher --install-desktop-entry adds it), or start corvane-launcher --show-ui."));
    connect(m_pDefaultClientCheckbox, &QCheckBox::stateChanged, this, [this](int nState) {
        if (nState == Qt::Unchecked)
            emit defaultChanged(m_pPackage, false);
        else if (nState == Qt::Checked)
            emit defaultChanged(m_pPackage, true);
    });

    m_pPanel->setAlignment(Qt::AlignHCenter);
    // One width, whatever it shows: "1024.0/1024.0 MB" and more fit, and a
    // wider text never widens it (the logo above is wider still).
    m_pPanel->setFixedWidth(160);
    m_pPanel->setStyleSheet(QStringLiteral(
        "QGroupBox { border-image: url(:/images/launcher/clientpackage-background.png) 16 16 16 16 repeat repeat; "
        "border: 16px transparent; background-attachment: fixed; padding: -6px -2px -8px -2px; }"));
    auto* pPanelLayout = new QVBoxLayout(m_pPanel);
    pPanelLayout->setSpacing(0);
    pPanelLayout->addWidget(m_pProgressBar, 0, Qt::AlignHCenter);
    pPanelLayout->addWidget(m_pButton, 0, Qt::AlignHCenter);
    pPanelLayout->addSpacing(6);
    if (m_pNameLabel)
        pPanelLayout->addWidget(m_pNameLabel, 0, Qt::AlignHCenter);
    pPanelLayout->addWidget(m_pVersionLabel, 0, Qt::AlignHCenter);
    pPanelLayout->addWidget(m_pNoteLabel, 0, Qt::AlignHCenter);
    pPanelLayout->addWidget(m_pDefaultClientCheckbox, 0, Qt::AlignHCenter);

    addWidget(m_pLogoLabel, 0, Qt::AlignHCenter | Qt::AlignTop);
    addSpacing(6);
    addWidget(m_pPanel, 0, Qt::AlignHCenter | Qt::AlignTop);

    connect(m_pPackage.get(), &TPackage::localPackageStatusChanged, this,
            &TClientPackageLayoutItem::onLocalPackageStatusChanged);
    m_pProgressBar->hide();
    m_pButton->show();
    updateDefaultClientCheckboxFromPackageStatus();
}

TClientPackageLayoutItem::~TClientPackageLayoutItem() = default;

void TClientPackageLayoutItem::setInstallationManager(TInstallationManager* pInstallationManager)
{
    m_pInstallationManager = pInstallationManager;
    refresh();
}

void TClientPackageLayoutItem::setFreeSpaceProbe(TFreeSpaceProbe fnProbe)
{
    m_fnFreeSpace = std::move(fnProbe);
    refresh();
}

void TClientPackageLayoutItem::onContextAction(const QString& sAction)
{
    if (sAction == kUninstallAction)
        emit uninstallButtonClicked(m_pPackage);
    else if (sAction == kVerifyAction)
        emit verifyButtonClicked(m_pPackage);
}

void TClientPackageLayoutItem::onUninstallStarted()
{
    endProgress();
    m_bBusy = true;
    m_pNoteLabel->hide();
    // No figure to show: a busy bar.
    m_pProgressBar->setRange(0, 0);
    m_pProgressBar->setFormat(QStringLiteral("Uninstalling..."));
    m_pProgressBar->setToolTip(QString());
    m_pButton->hide();
    m_pProgressBar->show();
}

void TClientPackageLayoutItem::onUninstallFinished()
{
    endProgress();
    m_pProgressBar->hide();
    m_pProgressBar->setRange(0, kProgressScale);
    m_pProgressBar->setValue(0);
    m_pButton->show();
    refresh();
}

void TClientPackageLayoutItem::onInstallationOrUpdateStarted(std::shared_ptr<TPackageInstallation> InstallationInProgress)
{
    if (!InstallationInProgress)
        return;
    endProgress();
    const quint64 nRun = m_nRun;
    m_bBusy = true;
    m_bLastTryFailed = false;
    m_sOutcomeNote.clear();
    m_pNoteLabel->hide();
    m_sStep.clear();
    m_oEta.reset();
    m_nRetryAttempt = 0;
    m_oClock.start();
    m_pProgressBar->setRange(0, kProgressScale);
    m_pProgressBar->setValue(0);
    m_pProgressBar->setFormat(QString());
    m_pProgressBar->setToolTip(QString());

    // Queued from the pool threads of the scan and the verification; a report
    // that arrives after the installation ended is dropped.
    m_lConnections.push_back(connect(InstallationInProgress.get(), &TPackageInstallation::progress, this,
                                     [this, nRun](EInstallationStep eStep, shared::TFileSize nDone,
                                                  shared::TFileSize nTotal, shared::TFileSize nBytesPerSecond) {
                                         if (nRun == m_nRun && m_bBusy)
                                             onProgress(eStep, nDone, nTotal, nBytesPerSecond);
                                     }));
    m_lConnections.push_back(connect(InstallationInProgress.get(), &TPackageInstallation::pausedChanged, this,
                                     [this, nRun](bool bPaused) {
                                         if (nRun == m_nRun && m_bBusy)
                                             onPausedChanged(bPaused);
                                     }));
    m_pInstallation = InstallationInProgress;
    updatePauseActions();
    m_lConnections.push_back(connect(InstallationInProgress.get(), &TPackageInstallation::retryWaiting, this,
                                     [this, nRun](int nAttempt, int nAttempts) {
                                         if (nRun == m_nRun && m_bBusy)
                                             onRetryWaiting(nAttempt, nAttempts);
                                     }));
    m_pButton->hide();
    m_pProgressBar->show();
}

void TClientPackageLayoutItem::onInstallationOrUpdateFinished(std::shared_ptr<TPackageInstallation> InstallationInProgress)
{
    endProgress();
    m_pProgressBar->hide();
    m_pButton->show();
    m_pProgressBar->setValue(0);
    m_bLastTryFailed = InstallationInProgress && !InstallationInProgress->succeeded();
    // A verification that found everything sound says so where the player looked.
    if (InstallationInProgress && InstallationInProgress->succeeded() && InstallationInProgress->verifiedFiles() >= 0)
        m_sOutcomeNote = QStringLiteral("All %1 files are intact").arg(InstallationInProgress->verifiedFiles());
    refresh();
}

void TClientPackageLayoutItem::endProgress()
{
    ++m_nRun;
    m_bBusy = false;
    m_bPaused = false;
    m_pInstallation.reset();
    for (const QMetaObject::Connection& oConnection : m_lConnections)
        disconnect(oConnection);
    m_lConnections.clear();
    updatePauseActions();
}

void TClientPackageLayoutItem::onPausedChanged(bool bPaused)
{
    m_bPaused = bPaused;
    // The time before the pause says nothing about the time left after it.
    m_oEta.reset();
    m_pNoteLabel->hide();
    m_pProgressBar->setFormat(bPaused ? QStringLiteral("Paused") : rateText(0));
    m_pProgressBar->setToolTip(bPaused ? QStringLiteral("Paused") : QString());
    updatePauseActions();
}

void TClientPackageLayoutItem::updatePauseActions()
{
    m_pPauseAction->setVisible(m_bBusy && !m_bPaused && m_sStep == QLatin1String("download"));
    m_pResumeAction->setVisible(m_bBusy && m_bPaused);
    m_pProgressBar->setContextMenuPolicy(m_pPauseAction->isVisible() || m_pResumeAction->isVisible()
                                             ? Qt::ActionsContextMenu
                                             : Qt::NoContextMenu);
}

void TClientPackageLayoutItem::onLocalPackageStatusChanged()
{
    refresh();
    updateDefaultClientCheckboxFromPackageStatus();
}

void TClientPackageLayoutItem::refresh()
{
    updateSizeEstimate();
    updatePackageImageFromPackageStatus();
    updateButtonFromPackageStatus();
    updatePackageNameAndVersion();
}

void TClientPackageLayoutItem::updatePackageNameAndVersion()
{
    if (m_pNameLabel) {
        setShortenedText(*m_pNameLabel, m_pPackage->name());
        m_pNameLabel->setToolTip(m_pPackage->name());
    }
    if (m_bBusy)
        return;
    const TPackageBuild* pBuild = m_pPackage->platformBuild();
    const auto& pConfiguration = pBuild ? pBuild->configuration() : nullptr;
    if (!pBuild)
        m_pVersionLabel->clear();
    else if (!pConfiguration || pConfiguration->version().isEmpty())
        m_pVersionLabel->setText(QStringLiteral("?"));
    else
        setShortenedText(*m_pVersionLabel, pConfiguration->version());
    // A shortened version is whole in the tooltip.
    const QString sVersion = pConfiguration ? pConfiguration->version() : QString();
    m_pVersionLabel->setToolTip(!sVersion.isEmpty() && m_pVersionLabel->text() != sVersion ? sVersion : QString());
    if (m_bLastTryFailed)
        showNote(QStringLiteral("Last try failed"), QStringLiteral("#E06040"));
    else if (!m_sOutcomeNote.isEmpty())
        showNote(m_sOutcomeNote, QStringLiteral("#DADABC"));
    else if (m_oSizeEstimate && packageButtonLook(m_pPackage->localPackageStatus()) == EPackageButtonLook::Update)
        showNote(updateNoteText(*m_oSizeEstimate), QString::fromLatin1(kDownloadNoteColour));
    else
        m_pNoteLabel->hide();
}

void TClientPackageLayoutItem::updateSizeEstimate()
{
    m_oSizeEstimate.reset();
    const ELocalPackageStatus eStatus = m_pPackage->localPackageStatus();
    const EPackageButtonLook eLook = packageButtonLook(eStatus);
    const auto pTarget = m_pPackage->platformConfiguration();
    // While a request runs its markers change under it, and the button is away.
    if (!m_pInstallationManager || !pTarget || m_bBusy
        || (eLook != EPackageButtonLook::Download && eLook != EPackageButtonLook::Update))
        return;
    try {
        // The markers only: no installed file is read for a tooltip.
        const QDir oFolder = m_pInstallationManager->installationFolder(*m_pPackage);
        std::shared_ptr<const TPackageConfigurationReader> pInstalled;
        if (eStatus != NotInstalled)
            pInstalled = m_pInstallationManager->readPackageConfigurationFromInstallationDirectory(oFolder);
        TPackageSizeEstimate oEstimate;
        oEstimate.m_bUpperBound = eStatus == PartiallyInstalled;
        // A partial marker of the version being installed says which files are
        // wanted, not which are there: nothing installed is counted on.
        if (pInstalled
            && (!pInstalled->isValid()
                || (oEstimate.m_bUpperBound && pInstalled->versionLabel() == pTarget->versionLabel())))
            pInstalled.reset();
        if (pInstalled)
            oEstimate.m_sFromVersion = pInstalled->version().isEmpty() ? QStringLiteral("?") : pInstalled->version();
        else
            pInstalled = std::make_shared<TPackageConfigurationReader>(QByteArrayLiteral("{\"files\": []}"), QByteArray(),
                                                                       QUrl(), QUrl());
        oEstimate.m_oSize = updateSize(*pInstalled, *pTarget);
        if (m_fnFreeSpace)
            oEstimate.m_nFreeBytes = m_fnFreeSpace(oFolder.absolutePath());
        m_oSizeEstimate = oEstimate;
    } catch (const std::exception& oError) {
        qWarning() << "No size estimate for" << m_pPackage->name() << ":" << oError.what();
    }
}

void TClientPackageLayoutItem::updatePackageImageFromPackageStatus()
{
    const QString sPath = logoPath(logoVariant(*m_pPackage), m_pPackage->localPackageStatus());
    const QUrl& oTarget = m_pPackage->logoLinkTarget();
    // A target that is not a web address is shown as a plain logo: the document
    // must not make a click start something on this machine.
    if (!shared::isWebLink(oTarget)) {
        m_pLogoLabel->clear();
        m_pLogoLabel->setStyleSheet(QStringLiteral("QLabel { image: url(%1); }").arg(sPath));
    } else {
        m_pLogoLabel->setStyleSheet(QString());
        m_pLogoLabel->setTextFormat(Qt::RichText);
        m_pLogoLabel->setText(pictureLinkHtml(oTarget.toString(QUrl::FullyEncoded).toHtmlEscaped(), sPath));
    }
    m_pLogoLabel->setToolTip(m_pPackage->name());
}

void TClientPackageLayoutItem::updateButtonFromPackageStatus()
{
    const EPackageButtonLook eLook = packageButtonLook(m_pPackage->localPackageStatus());
    const QString sLabel = buttonLabel(eLook);
    QMenu* pMenu = m_pButton->menu();
    // The menu does not own actions parented to the button; delete them later,
    // as a refresh may come from one of them being triggered.
    const QList<QAction*> lOldActions = pMenu->actions();
    pMenu->clear();
    for (QAction* pAction : lOldActions)
        pAction->deleteLater();
    for (const QString& sAction : buttonMenuActions(eLook))
        pMenu->addAction(new QAction(sAction, m_pButton));
    const QString sToolTip = m_bLastTryFailed && !sLabel.isEmpty() ? QStringLiteral("%1 (the last try failed)").arg(sLabel)
                                                                    : sLabel;
    m_pButton->setToolTip(m_oSizeEstimate ? packageSizeToolTip(sToolTip, *m_oSizeEstimate) : sToolTip);
    m_pButton->setFixedSize(kButtonWidth, kButtonHeight);
    m_pButton->setStyleSheet(packageButtonStyleSheet(eLook));
    const bool bNeedsNetwork = m_bOffline && (eLook == EPackageButtonLook::Download || eLook == EPackageButtonLook::Update);
    m_pButton->setEnabled(!bNeedsNetwork);
    if (bNeedsNetwork)
        m_pButton->setToolTip(QStringLiteral("Offline: connect to the internet to download"));
}

void TClientPackageLayoutItem::setOffline(bool bOffline)
{
    m_bOffline = bOffline;
    updateButtonFromPackageStatus();
}

void TClientPackageLayoutItem::updateDefaultClientCheckboxFromPackageStatus()
{
    m_pDefaultClientCheckbox->setVisible(m_pPackage->localPackageStatus() == UpToDate);
}

void TClientPackageLayoutItem::onScanProgress(shared::TFileSize nDone, shared::TFileSize nTotal)
{
    showProgress(QStringLiteral("Scanning..."), nDone, nTotal);
}

void TClientPackageLayoutItem::onWriteProgress(shared::TFileSize nDone, shared::TFileSize nTotal)
{
    showProgress(QStringLiteral("Writing..."), nDone, nTotal);
}

void TClientPackageLayoutItem::onVerificationProgress(shared::TFileSize nDone, shared::TFileSize nTotal)
{
    showProgress(QStringLiteral("Verifying..."), nDone, nTotal);
}

void TClientPackageLayoutItem::onProgress(EInstallationStep eStep, shared::TFileSize nDone, shared::TFileSize nTotal,
                                          shared::TFileSize nBytesPerSecond)
{
    switch (eStep) {
    case EInstallationStep::Scanning:
        onScanProgress(nDone, nTotal);
        break;
    case EInstallationStep::Downloading:
        onDownloadProgress(nDone, nTotal, nBytesPerSecond);
        break;
    case EInstallationStep::Writing:
        onWriteProgress(nDone, nTotal);
        break;
    case EInstallationStep::Verifying:
        onVerificationProgress(nDone, nTotal);
        break;
    }
}

void TClientPackageLayoutItem::onDownloadProgress(shared::TFileSize nDownloaded, shared::TFileSize nTotalToDownload,
                                                  shared::TFileSize nRate)
{
    showProgress(rateText(nRate), nDownloaded, nTotalToDownload);
    if (m_bPaused) {
        m_pProgressBar->setFormat(QStringLiteral("Paused"));
        return;
    }

    m_oEta.addSample(m_fnNow(), nDownloaded);
    const QString sTimeLeft = timeLeftText(m_oEta.secondsLeft(nTotalToDownload));
    m_pProgressBar->setToolTip(sTimeLeft.isEmpty() ? rateText(nRate)
                                                   : QStringLiteral("%1, %2").arg(rateText(nRate), sTimeLeft));
    showDownloadNote();
}

void TClientPackageLayoutItem::onRetryWaiting(int nAttempt, int nAttempts)
{
    m_nRetryAttempt = nAttempt;
    m_nRetryAttempts = nAttempts;
    if (m_sStep == QLatin1String("download") && !m_bPaused)
        showDownloadNote();
}

void TClientPackageLayoutItem::showDownloadNote()
{
    const QString sColour = QString::fromLatin1(kDownloadNoteColour);
    const QString sTimeLeft = timeLeftText(m_oEta.secondsLeft(m_nStepTotal));
    if (m_nRetryAttempt > 0)
        showNote(QStringLiteral("Retrying (%1 of %2)\u2026").arg(m_nRetryAttempt).arg(m_nRetryAttempts), sColour);
    else if (m_oEta.millisecondsSinceChange() >= kStallNoteMilliseconds)
        showNote(QStringLiteral("Waiting for the server\u2026"), sColour);
    else if (sTimeLeft.isEmpty())
        m_pNoteLabel->hide();
    else
        showNote(sTimeLeft, sColour);
}

void TClientPackageLayoutItem::showProgress(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal)
{
    // The download step's text is its rate, which changes; the step is the same.
    const bool bDownloading = sStep.endsWith(QLatin1String("/s"));
    const QString sStepKey = bDownloading ? QStringLiteral("download") : sStep;
    int nValue = progressValue(nDone, nTotal);
    if (sStepKey == m_sStep && nTotal == m_nStepTotal)
        nValue = std::max(nValue, m_pProgressBar->value());
    if (!bDownloading)
        m_pNoteLabel->hide();
    m_sStep = sStepKey;
    m_nStepTotal = nTotal;
    m_pProgressBar->setMaximum(kProgressScale);
    m_pProgressBar->setValue(nValue);
    m_pProgressBar->setFormat(sStep);
    m_pVersionLabel->setText(megabytesText(nDone, nTotal));
    updatePauseActions();
}

void TClientPackageLayoutItem::showNote(const QString& sText, const QString& sColour)
{
    m_pNoteLabel->setStyleSheet(QStringLiteral("QLabel { %1 }").arg(textStyle(11, sColour)));
    m_pNoteLabel->setText(sText);
    // A note longer than its lines is cut: the whole of it is in the tooltip.
    m_pNoteLabel->ensurePolished();
    m_pNoteLabel->setToolTip(m_pNoteLabel->heightForWidth(kNoteWidth) > m_pNoteLabel->height() ? sText : QString());
    m_pNoteLabel->show();
}

} // namespace velmar::launcher
