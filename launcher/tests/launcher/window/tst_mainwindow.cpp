// The window a player sees, driven as the controller drives it: packages in
// every status, installations that progress, fail and end, the default-client
// checkboxes, the context menu, the boxes with the CDN trace, the theme of
// boxes, menus and tooltips, cards that keep their size, the hint row and
// dragging.

#include "nginxserver.h"
#include "openedlinks.h"
#include "testpictures.h"
#include "testmetadata.h"
#include "testpool.h"
#include "testfiles.h"

#include "launcher/window/clientpackagelayoutitem.h"
#include "launcher/documents/cloudflarecdntrace.h"
#include "launcher/window/hintpane.h"
#include "launcher/window/hintrow.h"
#include "launcher/engine/installationmanager.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/launcherversion.h"
#include "launcher/window/launchermainwindow.h"
#include "launcher/window/launchertheme.h"
#include "launcher/window/messagepresenter.h"
#include "launcher/window/packagebuttonlook.h"
#include "launcher/engine/packagefiledownloader.h"
#include "launcher/engine/packageinstallation.h"
#include "launcher/window/progresstext.h"
#include "launcher/window/qcontextpushbutton.h"
#include "launcher/window/uistyle.h"

#include "shared/gui/clickablelabel.h"
#include "shared/sha256.h"
#include "shared/translationmanager.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>
#include <QtTest>

using namespace velmar::launcher;

namespace {

// Answers every modal box at once and keeps what it showed; a question gets
// the answer the test chose, and a box with named buttons the named one when it
// offers it, else its last button.
class TRecordingPresenter : public TMessagePresenter
{
public:
    TRecordingPresenter(std::vector<TMessage>& lBoxes, const QMessageBox::StandardButton& eAnswer,
                        const QString& sAnswer)
        : m_lBoxes(lBoxes), m_eAnswer(eAnswer), m_sAnswer(sAnswer)
    {
    }
    QMessageBox::StandardButton present(QWidget*, QMessageBox::Icon eIcon, const QString& sTitle, const QString& sText,
                                        QMessageBox::StandardButtons eButtons) override
    {
        m_lBoxes.push_back({eIcon, sTitle, sText, {}, {}});
        return eButtons.testFlag(m_eAnswer) ? m_eAnswer : QMessageBox::Ok;
    }
    QString choose(QWidget*, const TMessage& oMessage) override
    {
        m_lBoxes.push_back({oMessage.m_eIcon, oMessage.m_sTitle, oMessage.m_sText, oMessage.m_sDetail, oMessage.buttons()});
        return oMessage.buttons().contains(m_sAnswer) ? m_sAnswer : oMessage.buttons().constLast();
    }

private:
    std::vector<TMessage>& m_lBoxes;
    const QMessageBox::StandardButton& m_eAnswer;
    const QString& m_sAnswer;
};

// The texts of the progress bar's menu as it would open now.
QStringList offeredOnTheBar(const QProgressBar& oBar)
{
    QStringList lTexts;
    if (oBar.contextMenuPolicy() != Qt::ActionsContextMenu)
        return lTexts;
    for (const QAction* pAction : oBar.actions()) {
        if (pAction->isVisible())
            lTexts << pAction->text();
    }
    return lTexts;
}

// The indices of the packages a spy's signals carried, in order.
QList<int> packagesIn(const QSignalSpy& oSpy)
{
    QList<int> lIndices;
    for (const QList<QVariant>& lArguments : oSpy)
        lIndices << lArguments.at(0).value<std::shared_ptr<TPackage>>()->index();
    return lIndices;
}

// The lines rich text is broken into at the given width, as a label lays it out.
QStringList laidOutLines(const QString& sHtml, int nWidth)
{
    QTextDocument oDocument;
    oDocument.setHtml(sHtml);
    oDocument.setTextWidth(nWidth);
    QStringList lLines;
    // Asking for the size lays the document out.
    if (oDocument.size().isEmpty())
        return lLines;
    for (QTextBlock oBlock = oDocument.begin(); oBlock.isValid(); oBlock = oBlock.next()) {
        const QTextLayout* pLayout = oBlock.layout();
        for (int nLine = 0; nLine < pLayout->lineCount(); ++nLine)
            lLines << oBlock.text().mid(pLayout->lineAt(nLine).textStart(), pLayout->lineAt(nLine).textLength()).trimmed();
    }
    return lLines;
}

// The tooltip on screen, as QToolTip shows it for the widget; null when none.
QLabel* shownToolTip(QWidget* pWidget, const QString& sText)
{
    QToolTip::hideText();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QToolTip::showText(pWidget->mapToGlobal(QPoint(2, 2)), sText, pWidget);
    for (QWidget* pShown : QApplication::allWidgets()) {
        if (pShown->objectName() == QLatin1String("qtooltip_label") && pShown->isVisible())
            return qobject_cast<QLabel*>(pShown);
    }
    return nullptr;
}

// The box's title and the first line its text shows when each word of the
// title is in that line too; empty when the title says something of its own.
QString titleRepeated(const QMessageBox& oBox)
{
    QTextDocument oText;
    if (Qt::mightBeRichText(oBox.text()))
        oText.setHtml(oBox.text());
    else
        oText.setPlainText(oBox.text());
    const QString sLine = oText.toPlainText().trimmed().section(QLatin1Char('\n'), 0, 0);
    const QRegularExpression oNotWord(QStringLiteral("\\W+"));
    const QStringList lLineWords = sLine.toLower().split(oNotWord, Qt::SkipEmptyParts);
    const QStringList lTitleWords = oBox.windowTitle().toLower().split(oNotWord, Qt::SkipEmptyParts);
    const bool bRepeats = std::all_of(lTitleWords.begin(), lTitleWords.end(),
                                      [&](const QString& sWord) { return lLineWords.contains(sWord); });
    return bRepeats ? oBox.windowTitle() + QLatin1String(" | ") + sLine : QString();
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void itemsShowTheirStatusAndForwardClicks();
    void offlineOnlyPlayAndVerify();
    void variantLogosAreToldApart_data();
    void variantLogosAreToldApart();
    void longNamesAreShortenedOnTheCard_data();
    void longNamesAreShortenedOnTheCard();
    void progressBarFollowsTheInstallation();
    void askedBeforeEndingAnInstallation_data();
    void askedBeforeEndingAnInstallation();
    void noteTellsWhatADownloadWaitsFor_data();
    void noteTellsWhatADownloadWaitsFor();
    void failuresAreReported();
    void boxesMenusAndTooltipsWearTheTheme_data();
    void boxesMenusAndTooltipsWearTheTheme();
    void cardKeepsItsSize_data();
    void cardKeepsItsSize();
    void hintPanesFillFromTheServer();
    void manyPackagesScrollAndTheWindowDrags();
    void windowHasOneSizeAndTheIcon_data();
    void windowHasOneSizeAndTheIcon();
    void aboutBoxAndNoPackages();
    void traceFetchedOncePerRun_data();
    void traceFetchedOncePerRun();
    void verificationTellsWhatItFound_data();
    void verificationTellsWhatItFound();

private:
    std::unique_ptr<TLauncherMainWindow> newWindow(const std::shared_ptr<TLauncherConfigurationReader>& pMetadata,
                                                   std::shared_ptr<TCloudflareCdnTrace> pTrace = nullptr)
    {
        return std::make_unique<TLauncherMainWindow>(pMetadata->packages(), nullptr, true, m_pPool, std::move(pTrace),
                                                     pMetadata);
    }
    std::unique_ptr<TLauncherMainWindow> shownWindow(const std::shared_ptr<TLauncherConfigurationReader>& pMetadata)
    {
        auto pWindow = newWindow(pMetadata);
        pWindow->show();
        return pWindow;
    }
    std::shared_ptr<TPackageInstallation> newInstallation(const std::shared_ptr<TPackage>& pPackage) const
    {
        return std::make_shared<TPackageInstallation>(pPackage, std::make_shared<TLauncherFilesystemHelper>(m_oLauncherFolder.path()));
    }

    // Packages 0 to 4 in every status from Unknown to UpToDate, a sixth one
    // current too; the fifth is the default.
    static std::shared_ptr<TLauncherConfigurationReader> packagesInEveryStatus()
    {
        auto pMetadata = packagesMetadata(6);
        const auto& lPackages = pMetadata->packages();
        for (int nStatus = 0; nStatus < 6; ++nStatus)
            lPackages[size_t(nStatus)]->setLocalPackageStatus(ELocalPackageStatus(std::min(nStatus, int(UpToDate))));
        lPackages[4]->setDefault(true);
        return pMetadata;
    }

    // One package not installed, its window shown, and an installation of it started.
    struct TStartedInstallation
    {
        std::shared_ptr<TLauncherConfigurationReader> m_pMetadata;
        std::shared_ptr<TPackage> m_pPackage;
        std::unique_ptr<TLauncherMainWindow> m_pWindow;
        TClientPackageLayoutItem* m_pItem = nullptr;
        QProgressBar* m_pBar = nullptr;
        std::shared_ptr<TPackageInstallation> m_pInstallation;
    };
    TStartedInstallation startInstallation(const QString& sExtra = QString())
    {
        TStartedInstallation oStarted;
        oStarted.m_pMetadata = packagesMetadata(1, sExtra);
        oStarted.m_pPackage = oStarted.m_pMetadata->packages()[0];
        oStarted.m_pPackage->setLocalPackageStatus(NotInstalled);
        oStarted.m_pWindow = shownWindow(oStarted.m_pMetadata);
        oStarted.m_pItem = oStarted.m_pWindow->item(0);
        oStarted.m_pBar = oStarted.m_pItem->progressBar();
        oStarted.m_pInstallation = newInstallation(oStarted.m_pPackage);
        oStarted.m_pWindow->onInstallationOrUpdateStarted(oStarted.m_pInstallation);
        return oStarted;
    }

    std::shared_ptr<shared::TDownloadPool> m_pPool;
    std::vector<TMessage> m_lBoxes;
    // What the recording presenter answers a question, and a box with named buttons.
    QMessageBox::StandardButton m_eAnswer = QMessageBox::Yes;
    QString m_sAnswer;
    QTemporaryDir m_oLauncherFolder;
    // Serves the CDN trace, the hint pictures and some other file.
    QTemporaryDir m_oRoot;
    TNginxServer m_oServer;
};

void tst_MainWindow::initTestCase()
{
    // As the launcher's application does.
    applyLauncherTheme(*qApp);
    qRegisterMetaType<QNetworkReply::NetworkError>();
    // Keys in any case among others, values trimmed, CRLF, the later line winning, UTF-8.
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("trace")),
                          "Fl=1f1\nuag=test\nIP= 127.0.0.1 \t\nts=1.5\r\ncolo=A\nCOLO=Z\xc3\xbcrich\r\n"));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("other")), "colo=OTHER\n"));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("wide.png")), testPng(QSize(600, 100))));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("broken.png")), "\x89PNG not really"));
    QVERIFY2(m_oServer.start(m_oRoot.path()), qPrintable(m_oServer.errorString()));
}

void tst_MainWindow::init()
{
    m_pPool = newTestPool();
    m_lBoxes.clear();
    m_eAnswer = QMessageBox::Yes;
    m_sAnswer.clear();
    TMessagePresenter::setInstance(std::make_unique<TRecordingPresenter>(m_lBoxes, m_eAnswer, m_sAnswer));
}

void tst_MainWindow::cleanup()
{
    TMessagePresenter::setInstance(nullptr);
}

void tst_MainWindow::itemsShowTheirStatusAndForwardClicks()
{
    const auto pMetadata = packagesInEveryStatus();
    const auto& lPackages = pMetadata->packages();
    const auto pWindow = shownWindow(pMetadata);
    QSignalSpy oClicked(pWindow.get(), &TLauncherMainWindow::clientPackageButtonClicked);
    QSignalSpy oVerify(pWindow.get(), &TLauncherMainWindow::clientPackageVerifyButtonClicked);

    for (int nStatus = 0; nStatus < 5; ++nStatus) {
        TClientPackageLayoutItem* pItem = pWindow->item(nStatus);
        QContextPushButton* pButton = pItem->button();
        QCOMPARE(pItem->defaultClientCheckbox()->isVisible(), nStatus == UpToDate);
        QCOMPARE(pItem->nameLabel()->text(), QStringLiteral("Client %1").arg(nStatus));
        QCOMPARE(pItem->versionLabel()->text(), QStringLiteral("1.%1").arg(nStatus));
        // Every picture the button can ask for is there.
        const EPackageButtonLook eLook = packageButtonLook(ELocalPackageStatus(nStatus));
        for (const char* pState : {"idle", "hover", "pressed"})
            QVERIFY(!QPixmap(QStringLiteral(":/images/launcher/Button_%1_%2.png").arg(buttonColour(eLook), QLatin1String(pState))).isNull());
        QCOMPARE(QPixmap(QStringLiteral(":/images/launcher/Icon_%1.png").arg(buttonLabel(eLook))).isNull(), nStatus == Unknown);

        // Only an installed, current package can be verified.
        QContextMenuEvent oRightClick(QContextMenuEvent::Mouse, QPoint(5, 5), pButton->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(pButton, &oRightClick);
        QCOMPARE(pButton->menu()->isVisible(), nStatus == UpToDate);
        if (nStatus == UpToDate) {
            QCOMPARE(pButton->menu()->actions().size(), 2);
            QCOMPARE(pButton->menu()->actions().at(0)->text(), QStringLiteral("Verify"));
            pButton->menu()->actions().at(0)->trigger();
            pButton->menu()->close();
        }
        QTest::mouseClick(pButton, Qt::LeftButton);
    }
    QCOMPARE(packagesIn(oClicked), (QList<int>{0, 1, 2, 3, 4}));
    QCOMPARE(packagesIn(oVerify), QList<int>{4});

    // Four packages on the first row, the fifth below the first.
    const auto place = [&](int nIndex) { return pWindow->item(nIndex)->button()->mapTo(pWindow.get(), QPoint()); };
    QCOMPARE(place(3).y(), place(0).y());
    QCOMPARE(place(4).x(), place(0).x());
    QVERIFY(place(4).y() > place(0).y());

    // One default at most: a click moves it, a second click clears it; the
    // controller's own choice is shown but not echoed back.
    QSignalSpy oChanged(pWindow.get(), &TLauncherMainWindow::defaultChanged);
    // The checkboxes of the two current packages, and the default the window names.
    const auto defaults = [&] {
        return QList<int>{pWindow->item(4)->defaultClientCheckbox()->isChecked(),
                          pWindow->item(5)->defaultClientCheckbox()->isChecked(), pWindow->defaultPackageIndex()};
    };
    const auto tick = [&] { QTest::mouseClick(pWindow->item(5)->defaultClientCheckbox(), Qt::LeftButton, {}, QPoint(4, 4)); };
    QCOMPARE(defaults(), (QList<int>{1, 0, 4}));
    tick();
    QCOMPARE(defaults(), (QList<int>{0, 1, 5}));
    QCOMPARE(packagesIn(oChanged), QList<int>{5});
    tick();
    QCOMPARE(defaults(), (QList<int>{0, 0, -1}));
    QCOMPARE(packagesIn(oChanged), (QList<int>{5, 5}));
    QCOMPARE(oChanged.at(0).at(1).toBool(), true);
    QCOMPARE(oChanged.at(1).at(1).toBool(), false);
    pWindow->setDefault(lPackages[4], true);
    QCOMPARE(defaults(), (QList<int>{1, 0, 4}));
    pWindow->setDefault(nullptr, true);
    // The default is the installation manager's to write: what it writes shows
    // at once, also after the window was built (a first launch), and is not echoed.
    lPackages[4]->setDefault(false);
    QCOMPARE(defaults(), (QList<int>{0, 0, -1}));
    lPackages[5]->setDefault(true);
    QCOMPARE(defaults(), (QList<int>{0, 1, 5}));
    QCOMPARE(oChanged.size(), 2);
}

// Offline the window says so; what needs the network is disabled and says why,
// also after a status change, and online again everything works. A status
// change refreshes the item in place; the checkbox keeps its space.
void tst_MainWindow::offlineOnlyPlayAndVerify()
{
    const auto pMetadata = packagesInEveryStatus();
    const auto& lPackages = pMetadata->packages();
    const auto pWindow = shownWindow(pMetadata);
    QVERIFY(!pWindow->offlineLabel()->isVisible());
    const int nCheckboxTop = pWindow->item(4)->defaultClientCheckbox()->y();
    pWindow->setOffline(true);
    QVERIFY(pWindow->offlineLabel()->isVisible());
    QCOMPARE(pWindow->offlineLabel()->text(), QStringLiteral("Offline: showing installed games"));
    const QString sWhy = QStringLiteral("Offline: connect to the internet to download");
    QSignalSpy oClicked(pWindow.get(), &TLauncherMainWindow::clientPackageButtonClicked);
    for (int nStatus = 0; nStatus < 6; ++nStatus) {
        const ELocalPackageStatus eStatus = lPackages[size_t(nStatus)]->localPackageStatus();
        const bool bNeedsNetwork = eStatus == NotInstalled || eStatus == PartiallyInstalled || eStatus == UpdateAvailable;
        QContextPushButton* pButton = pWindow->item(nStatus)->button();
        QVERIFY2(pButton->isEnabled() != bNeedsNetwork, qPrintable(QString::number(nStatus)));
        QCOMPARE(pButton->toolTip() == sWhy, bNeedsNetwork);
        QTest::mouseClick(pButton, Qt::LeftButton);
    }
    // Play on the two current clients and the one of unknown status; Verify stays in the menu.
    QCOMPARE(packagesIn(oClicked), (QList<int>{0, 4, 5}));
    const QList<QAction*> lOffered = pWindow->item(4)->button()->menu()->actions();
    QVERIFY(std::any_of(lOffered.begin(), lOffered.end(), [](QAction* pAction) { return pAction->text() == QLatin1String("Verify"); }));

    lPackages[4]->setLocalPackageStatus(UpdateAvailable);
    QVERIFY(!pWindow->item(4)->button()->isEnabled());
    QCOMPARE(pWindow->item(4)->button()->toolTip(), sWhy);

    pWindow->setOffline(false);
    QVERIFY(!pWindow->offlineLabel()->isVisible());
    for (int nStatus = 0; nStatus < 6; ++nStatus)
        QVERIFY(pWindow->item(nStatus)->button()->isEnabled());
    QCOMPARE(pWindow->item(4)->button()->toolTip(), QStringLiteral("Update"));
    QVERIFY(pWindow->item(4)->button()->menu()->actions().isEmpty());
    QVERIFY(!pWindow->item(4)->defaultClientCheckbox()->isVisible());
    QCOMPARE(pWindow->item(4)->defaultClientCheckbox()->y(), nCheckboxTop);
}

void tst_MainWindow::variantLogosAreToldApart_data()
{
    QTest::addColumn<int>("nStatus");
    QTest::newRow("installed") << int(UpToDate);
    QTest::newRow("not installed") << int(NotInstalled);
}

// Any two variants' logos, as a card shows them on its dark panel, differ
// plainly in a good share of their area, not in a caption of a few pixels.
void tst_MainWindow::variantLogosAreToldApart()
{
    QFETCH(int, nStatus);
    const QSize oCard = newWindow(packagesMetadata(1))->item(0)->logoLabel()->size();
    const auto onCard = [&](const QString& sVariant) {
        const QImage oLogo(logoPath(sVariant, ELocalPackageStatus(nStatus)));
        QImage oCardImage(oCard, QImage::Format_RGB32);
        oCardImage.fill(QColor(0x16, 0x19, 0x1f));
        QPainter oPainter(&oCardImage);
        oPainter.setRenderHint(QPainter::SmoothPixmapTransform);
        oPainter.drawImage(oCardImage.rect(), oLogo);
        return oLogo.isNull() ? QImage() : oCardImage;
    };
    const QStringList lVariants = {QStringLiteral("QT"), QStringLiteral("Classic"), QStringLiteral("Preview"),
                                   QStringLiteral("Beta"), QStringLiteral("Test")};
    for (int nFirst = 0; nFirst < lVariants.size(); ++nFirst) {
        const QImage oFirst = onCard(lVariants[nFirst]);
        QVERIFY2(!oFirst.isNull(), qPrintable(lVariants[nFirst]));
        for (int nSecond = nFirst + 1; nSecond < lVariants.size(); ++nSecond) {
            const QImage oSecond = onCard(lVariants[nSecond]);
            int nPlain = 0;
            for (int nY = 0; nY < oCard.height(); ++nY) {
                for (int nX = 0; nX < oCard.width(); ++nX) {
                    const QRgb nA = oFirst.pixel(nX, nY);
                    const QRgb nB = oSecond.pixel(nX, nY);
                    nPlain += std::max({std::abs(qRed(nA) - qRed(nB)), std::abs(qGreen(nA) - qGreen(nB)),
                                        std::abs(qBlue(nA) - qBlue(nB))}) >= 40;
                }
            }
            const double fShare = double(nPlain) / (oCard.width() * oCard.height());
            QVERIFY2(fShare >= 0.06, qPrintable(QStringLiteral("%1 and %2: %3 % differ plainly")
                                                    .arg(lVariants[nFirst], lVariants[nSecond]).arg(100 * fShare, 0, 'f', 1)));
        }
    }
}

void tst_MainWindow::longNamesAreShortenedOnTheCard_data()
{
    QTest::addColumn<QString>("sName");
    QTest::addColumn<bool>("bShortened");
    QTest::addColumn<QString>("sLogoLink");
    QTest::addColumn<bool>("bLinked");
    const QString sPage = QStringLiteral("https://corvane.example/classic");
    QTest::newRow("fits, logo to a web page") << QStringLiteral("Client 0") << false << sPage << true;
    QTest::newRow("too long, logo to a program") << QStringLiteral("Corvane Online Public Test Realm Europe West") << true
                                                 << QStringLiteral("file:///usr/bin/xterm") << false;
    QTest::newRow("one long word") << QStringLiteral("CorvaneOnlineNightlyBuildWithEverything") << true << sPage << true;
}

// A name too long for its card ends in an ellipsis and the card keeps its
// width; the tooltip always has the whole name. The logo links to web pages only.
void tst_MainWindow::longNamesAreShortenedOnTheCard()
{
    QFETCH(QString, sName);
    QFETCH(bool, bShortened);
    QFETCH(QString, sLogoLink);
    QFETCH(bool, bLinked);
    const auto pWindow = shownWindow(
        packagesMetadata(2, QStringLiteral("\"name\": \"%1\", \"logolinktarget\": \"%2\",").arg(sName, sLogoLink)));
    const auto pShort = shownWindow(packagesMetadata(1));
    const QLabel* pName = pWindow->item(0)->nameLabel();
    QCOMPARE(pName->toolTip(), sName);
    if (bShortened)
        QVERIFY2(pName->text().endsWith(QChar(0x2026)) && sName.startsWith(pName->text().chopped(1)), qPrintable(pName->text()));
    else
        QCOMPARE(pName->text(), sName);
    QCOMPARE(pName->parentWidget()->width(), pShort->item(0)->nameLabel()->parentWidget()->width());
    const QLabel* pLogo = pWindow->item(0)->logoLabel();
    QCOMPARE(pLogo->text().contains(QStringLiteral("href=\"%1\"").arg(sLogoLink)), bLinked);
    QVERIFY2(bLinked || (pLogo->text().isEmpty() && pLogo->toolTip() == sName), qPrintable(pLogo->text()));
}

// The bar takes the button's place from start to end, offers to pause only
// while something is fetched, and a late report moves it neither back nor out.
void tst_MainWindow::progressBarFollowsTheInstallation()
{
    const TStartedInstallation oStarted = startInstallation();
    const auto& [pMetadata, pPackage, pWindow, pItem, pBar, pInstallation] = oStarted;
    const shared::TFileSize nMillion = 1000000;
    const auto fetched = [&](int nMillions, int nWritten = 0) {
        emit pInstallation->downloader()->progress(nMillions * nMillion, 40 * nMillion, nWritten * nMillion, 80 * nMillion);
    };
    QVERIFY(pBar->isVisible());
    QVERIFY(!pItem->button()->isVisible());

    emit pInstallation->verificationProgress(512 * nMillion, 1024 * nMillion);
    QTRY_COMPARE(pBar->value(), 5000);
    QCOMPARE(pBar->text(), QStringLiteral("Verifying..."));
    QCOMPARE(pItem->versionLabel()->text(), QStringLiteral("512.0/1024.0 MB"));
    // A late report of less does not move the bar back; a total of 0 divides nothing.
    emit pInstallation->verificationProgress(100 * nMillion, 1024 * nMillion);
    emit pInstallation->scanProgress(0, 0);
    QTRY_COMPARE(pBar->text(), QStringLiteral("Scanning..."));
    QCOMPARE(pBar->value(), 0);
    QCOMPARE(offeredOnTheBar(*pBar), QStringList());

    // Downloading: the rate in the bar. An engine with no transfer of its own
    // has nothing to stop: Pause leaves the bar as it was.
    fetched(10);
    QCOMPARE(pBar->value(), 2500);
    QCOMPARE(offeredOnTheBar(*pBar), QStringList{QStringLiteral("Pause")});
    pItem->pauseAction()->trigger();
    QVERIFY(!pInstallation->isPaused());
    QVERIFY(pBar->text().endsWith(QLatin1String("/s")));

    // Paused as the engine reports it: the bar says so and offers to go on;
    // a report still queued neither moves it back nor brings the rate back.
    emit pInstallation->pausedChanged(true);
    QCOMPARE(pBar->text(), QStringLiteral("Paused"));
    QCOMPARE(offeredOnTheBar(*pBar), QStringList{QStringLiteral("Resume")});
    QVERIFY(!pItem->noteLabel()->isVisible());
    fetched(20);
    QCOMPARE(pBar->text(), QStringLiteral("Paused"));
    QCOMPARE(pBar->value(), 5000);
    emit pInstallation->pausedChanged(false);
    QCOMPARE(offeredOnTheBar(*pBar), QStringList{QStringLiteral("Pause")});
    fetched(30);
    QVERIFY(pBar->text().endsWith(QLatin1String("/s")));

    // Done downloading means writing, which fetches nothing, so nothing pauses.
    fetched(40, 60);
    QCOMPARE(pBar->text(), QStringLiteral("Writing..."));
    QCOMPARE(pBar->value(), 7500);
    QVERIFY(!pItem->noteLabel()->isVisible());
    QCOMPARE(offeredOnTheBar(*pBar), QStringList());

    // Progress still queued when the installation ends must not bring the bar
    // back, nor a pause the menu.
    emit pInstallation->writeProgress(70 * nMillion, 80 * nMillion);
    emit pInstallation->pausedChanged(true);
    pPackage->setLocalPackageStatus(UpToDate);
    pWindow->onInstallationOrUpdateFinished(pInstallation);
    QCoreApplication::processEvents();
    QVERIFY(!pBar->isVisible());
    QVERIFY(pItem->button()->isVisible());
    QCOMPARE(pBar->value(), 0);
    QCOMPARE(offeredOnTheBar(*pBar), QStringList());
    QCOMPARE(pItem->versionLabel()->text(), QStringLiteral("1.0"));
    QVERIFY(m_lBoxes.empty());

    // A negative mean is no wrapped rate; bytes beyond the total stay at the end.
    QCOMPARE(bytesPerSecondFromTickMean(-3.5), shared::TFileSize(0));
    QCOMPARE(progressValue(5, 4), kProgressScale);
}

// A download that gets no byte must not look frozen: the note under the bar says
// it waits, or which attempt comes, and gives way to the time left once bytes flow.
void tst_MainWindow::noteTellsWhatADownloadWaitsFor_data()
{
    QTest::addColumn<int>("nSilentMilliseconds");
    QTest::addColumn<QList<int>>("lAttempts"); // retryWaiting, in order
    QTest::addColumn<bool>("bBytesAgain");
    QTest::addColumn<QString>("sNote"); // "left": the time left
    QTest::newRow("4.9 s without a byte") << 4900 << QList<int>{} << false << "left";
    QTest::newRow("5 s without a byte") << 5000 << QList<int>{} << false << QStringLiteral("Waiting for the server\u2026");
    QTest::newRow("bytes again") << 8000 << QList<int>{} << true << "left";
    QTest::newRow("first retry waits") << 300 << QList<int>{2} << false << QStringLiteral("Retrying (2 of 4)\u2026");
    QTest::newRow("last retry waits, no byte") << 6000 << QList<int>{2, 3, 4} << false << QStringLiteral("Retrying (4 of 4)\u2026");
    QTest::newRow("retry brought bytes") << 1000 << QList<int>{2, 0} << true << "left";
}

void tst_MainWindow::noteTellsWhatADownloadWaitsFor()
{
    QFETCH(int, nSilentMilliseconds);
    QFETCH(QList<int>, lAttempts);
    QFETCH(bool, bBytesAgain);
    QFETCH(QString, sNote);
    const TStartedInstallation oStarted = startInstallation();
    const auto& [pMetadata, pPackage, pWindow, pItem, pBar, pInstallation] = oStarted;
    qint64 nNow = 0;
    pItem->setClock([&] { return nNow; });

    // 10 MB/s for three seconds, reported every 100 ms as the downloader does.
    const shared::TFileSize nTotal = 100000000;
    shared::TFileSize nDone = 0;
    const auto fnTick = [&] {
        emit pInstallation->downloader()->progress(nDone, nTotal, 0, nTotal);
        nNow += 100;
    };
    for (int nTick = 0; nTick < 30; ++nTick, nDone += 1000000)
        fnTick();
    for (const int nAttempt : lAttempts)
        emit pInstallation->downloader()->retryWaiting(nAttempt, 4);
    for (int nSilent = 0; nSilent <= nSilentMilliseconds; nSilent += 100)
        fnTick();
    if (bBytesAgain) {
        nDone += 1000000;
        fnTick();
    }
    QVERIFY(pItem->noteLabel()->isVisible());
    const QString sShown = pItem->noteLabel()->text();
    QVERIFY2(sNote == QLatin1String("left") ? sShown.endsWith(QLatin1String(" left")) : sShown == sNote, qPrintable(sShown));
    // The bar keeps its rate.
    QVERIFY2(pBar->text().endsWith(QLatin1String("B/s")), qPrintable(pBar->text()));
    pWindow->onInstallationOrUpdateFinished(pInstallation);
}

void tst_MainWindow::askedBeforeEndingAnInstallation_data()
{
    QTest::addColumn<bool>("bPlay");
    QTest::addColumn<bool>("bPaused");
    QTest::addColumn<int>("nAnswer");
    QTest::addColumn<bool>("bAsked");
    QTest::addColumn<bool>("bGoesOn");
    const int nYes = QMessageBox::Yes;
    const int nNo = QMessageBox::No;
    QTest::newRow("close while fetching, kept") << false << false << nNo << true << false;
    QTest::newRow("close while fetching, closed") << false << false << nYes << true << true;
    QTest::newRow("close while paused") << false << true << nNo << false << true;
    QTest::newRow("play while another updates, kept") << true << false << nNo << true << false;
    QTest::newRow("play while another updates, started") << true << false << nYes << true << true;
    QTest::newRow("play while another is paused, kept") << true << true << nNo << true << false;
}

void tst_MainWindow::askedBeforeEndingAnInstallation()
{
    QFETCH(bool, bPlay);
    QFETCH(bool, bPaused);
    QFETCH(int, nAnswer);
    QFETCH(bool, bAsked);
    QFETCH(bool, bGoesOn);
    m_eAnswer = QMessageBox::StandardButton(nAnswer);
    const auto pMetadata = packagesMetadata(2);
    const auto& lPackages = pMetadata->packages();
    lPackages[0]->setLocalPackageStatus(UpToDate);
    lPackages[1]->setLocalPackageStatus(UpdateAvailable);
    const auto pWindow = shownWindow(pMetadata);
    const auto pUpdate = newInstallation(lPackages[1]);
    pWindow->onInstallationOrUpdateStarted(pUpdate);
    if (bPaused)
        emit pUpdate->pausedChanged(true);

    QCOMPARE(bPlay ? pWindow->confirmClientStart(*lPackages[0]) : pWindow->close(), bGoesOn);
    QCOMPARE(m_lBoxes.size(), size_t(bAsked ? 1 : 0));
    if (bAsked) {
        QCOMPARE(m_lBoxes[0].m_eIcon, QMessageBox::Question);
        QCOMPARE(m_lBoxes[0].m_sText,
                 bPlay ? QStringLiteral("Client 1 is still being updated. Start Client 0 anyway? What it has fetched is "
                                        "kept; choose Update next time to finish it.")
                       : QStringLiteral("An installation is still running. Close the launcher anyway? What it has fetched "
                                        "is kept."));
    }
    // Kept: the window and the update as they were. Started: the window closes
    // for the client without asking twice.
    QCOMPARE(pWindow->isVisible(), !(bGoesOn && !bPlay));
    QVERIFY(pWindow->item(1)->progressBar()->isVisibleTo(pWindow.get()));
    if (bPlay && bGoesOn) {
        QVERIFY(pWindow->close());
        QCOMPARE(m_lBoxes.size(), size_t(1));
    }
    // Once no other installation runs, both go on without a word.
    pWindow->onInstallationOrUpdateFinished(pUpdate);
    m_eAnswer = QMessageBox::No;
    m_lBoxes.clear();
    pWindow->show();
    QVERIFY(pWindow->close());
    QVERIFY(pWindow->confirmClientStart(*lPackages[0]));
    QVERIFY(m_lBoxes.empty());
}

void tst_MainWindow::failuresAreReported()
{
    const auto pMetadata = packagesMetadata(2);
    const auto& lPackages = pMetadata->packages();
    const auto pWindow = newWindow(pMetadata, std::make_shared<TCloudflareCdnTrace>(m_oServer.url(QStringLiteral("/trace")), m_pPool));
    // Fails as the downloader reports it, or, given a reason, as the engine refuses.
    const auto failWith = [&](const std::shared_ptr<TPackage>& pPackage, EPackageDownloaderError eReason,
                              TLauncherMainWindow* pIn = nullptr, const QString& sReason = QString()) {
        const auto pInstallation = newInstallation(pPackage);
        pIn = pIn ? pIn : pWindow.get();
        pIn->onInstallationOrUpdateStarted(pInstallation);
        if (sReason.isEmpty())
            emit pInstallation->downloader()->downloadFailed(eReason);
        else
            pInstallation->refuse(sReason, eReason);
        pIn->onInstallationOrUpdateFinished(pInstallation);
    };

    // A download failure: the window's own box, first waiting for the trace, then with it.
    failWith(lPackages[0], DownloadFailed);
    QMessageBox* pBox = pWindow->messageBox();
    QVERIFY(pBox && pBox->isVisible());
    QVERIFY2(pBox->text().endsWith(QLatin1String("Diagnostic information: Loading, please wait...")), qPrintable(pBox->text()));
    QTRY_VERIFY2(pBox->text().endsWith(QString::fromUtf8("FL: 1f1, TS: 1.5, COLO: Z\xc3\xbcrich, IP: 127.0.0.1")), qPrintable(pBox->text()));
    QVERIFY(m_lBoxes.empty());
    QCOMPARE(pWindow->item(0)->noteLabel()->text(), QStringLiteral("Last try failed"));
    QVERIFY(pWindow->item(0)->lastTryFailed());

    // Disk and verification failures, a refused package (the box gives the
    // reason, the item the mark) and a folder another program changes: modal
    // boxes naming the package.
    failWith(lPackages[1], SavingFailed);
    failWith(lPackages[1], VerificationFailed);
    const QString sReason = QStringLiteral("The package names \"bin/client\" twice.");
    failWith(lPackages[1], InvalidPackage, nullptr, sReason);
    failWith(lPackages[1], FolderInUse);
    QCOMPARE(m_lBoxes.size(), size_t(4));
    QVERIFY(m_lBoxes[0].m_sText.contains(QLatin1String("Client 1")));
    QCOMPARE(m_lBoxes[1].m_eIcon, QMessageBox::Critical);
    QCOMPARE(m_lBoxes[2].m_sTitle, QStringLiteral("Installation failed"));
    QVERIFY2(m_lBoxes[2].m_sText.contains(QLatin1String("Client 1")) && m_lBoxes[2].m_sText.contains(sReason),
             qPrintable(m_lBoxes[2].m_sText));
    QVERIFY(pWindow->item(1)->lastTryFailed());
    QCOMPARE(m_lBoxes[3].m_sTitle, QStringLiteral("Installation failed"));
    QCOMPARE(m_lBoxes[3].m_sText, QStringLiteral("Client 1 is being changed by another program. Try again when it has finished."));

    // The next try clears the mark; success leaves none.
    const auto pRetry = newInstallation(lPackages[0]);
    pWindow->onInstallationOrUpdateStarted(pRetry);
    QVERIFY(!pWindow->item(0)->lastTryFailed());
    QVERIFY(!pWindow->item(0)->noteLabel()->isVisibleTo(pWindow.get()));
    emit pRetry->downloader()->downloadCompleted();
    pWindow->onInstallationOrUpdateFinished(pRetry);
    QVERIFY(!pWindow->item(0)->lastTryFailed());

    // Without a trace address the diagnostics say so at once; events of a
    // package without an item change nothing.
    const auto pOther = newWindow(pMetadata, std::make_shared<TCloudflareCdnTrace>(QUrl(), m_pPool));
    const TLauncherConfigurationReader oLauncherMetadata("{\"launcher\": {\"name\": \"Launcher\", \"builds\": []}}", QUrl());
    failWith(oLauncherMetadata.launcherPackage(), SavingFailed, pOther.get());
    QCOMPARE(m_lBoxes.size(), size_t(4));
    // The download failure box names the downloader's reason and offers to try
    // again, through the road of the package's own button.
    QSignalSpy oClicked(pOther.get(), &TLauncherMainWindow::clientPackageButtonClicked);
    const QString sDownload = QStringLiteral("Download of http://127.0.0.1:9/c1/chunks/ab failed: Connection refused");
    failWith(lPackages[1], DownloadFailed, pOther.get(), sDownload);
    pBox = pOther->messageBox();
    QVERIFY(pBox->text().startsWith(QLatin1String("The installation of Client 1 failed.")));
    QVERIFY(pBox->text().endsWith(QLatin1String("Diagnostic information: Failed to obtain information.")));
    QCOMPARE(pBox->informativeText(), sDownload);
    QAbstractButton* pTryAgain = nullptr;
    for (QAbstractButton* pButton : pBox->buttons())
        pTryAgain = pButton->text() == QLatin1String("Try again") ? pButton : pTryAgain;
    QVERIFY(pTryAgain && pTryAgain->isVisible());
    QVERIFY(oClicked.isEmpty());
    QTest::mouseClick(pTryAgain, Qt::LeftButton);
    QCOMPARE(packagesIn(oClicked), QList<int>{1});
    QVERIFY(!pBox->isVisible());
}

void tst_MainWindow::boxesMenusAndTooltipsWearTheTheme_data()
{
    QTest::addColumn<QString>("sWhat");
    for (const char* pWhat : {"about box", "installation failed box", "window's own box", "button menu", "button tooltip"})
        QTest::newRow(pWhat) << QString::fromLatin1(pWhat);
}

// Boxes, menus and tooltips are dark with the window's text colour, all
// alike; a box's title bar does not repeat the first line of its text.
void tst_MainWindow::boxesMenusAndTooltipsWearTheTheme()
{
    QFETCH(QString, sWhat);
    const QColor oText(kTextColour);
    const QColor oPanel(kPanelColour);
    const TStartedInstallation oStarted = startInstallation();
    const auto& [pMetadata, pPackage, pWindow, pItem, pBar, pInstallation] = oStarted;

    if (sWhat.endsWith(QLatin1String("box"))) {
        std::unique_ptr<QMessageBox> pBuilt;
        QMessageBox* pBox = nullptr;
        if (sWhat == QLatin1String("window's own box")) {
            pInstallation->refuse(QStringLiteral("Connection refused"), DownloadFailed);
            pWindow->onInstallationOrUpdateFinished(pInstallation);
            pBox = pWindow->messageBox();
        } else {
            if (sWhat == QLatin1String("about box")) {
                pWindow->onAboutDialogRequested(QStringLiteral("about"));
            } else {
                emit pInstallation->downloader()->downloadFailed(SavingFailed);
                pWindow->onInstallationOrUpdateFinished(pInstallation);
            }
            QCOMPARE(m_lBoxes.size(), size_t(1));
            pBuilt = newMessageBox(pWindow.get(), m_lBoxes[0]);
            pBox = pBuilt.get();
            pBox->show();
        }
        QVERIFY(pBox && pBox->isVisible());
        QVERIFY2(titleRepeated(*pBox).isEmpty(), qPrintable(titleRepeated(*pBox)));
        QCOMPARE(pBox->palette().color(QPalette::Window), oPanel);
        auto* pLabel = pBox->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(pLabel);
        QCOMPARE(pLabel->palette().color(QPalette::WindowText), oText);
        QCOMPARE(pLabel->palette().color(QPalette::Link), QColor(kLinkColour));
        QCOMPARE(pLabel->font().family(), QStringLiteral("Liberation Sans"));
        QVERIFY(!pBox->buttons().isEmpty());
        for (QAbstractButton* pButton : pBox->buttons())
            QCOMPARE(pButton->palette().color(QPalette::ButtonText), oText);
        // Lines that must not wrap, such as addresses, have their room in the box.
        QTextDocument oLaidOut;
        oLaidOut.setDefaultFont(pLabel->font());
        oLaidOut.setHtml(pLabel->text());
        oLaidOut.setTextWidth(pLabel->contentsRect().width());
        QVERIFY2(oLaidOut.size().width() <= pLabel->contentsRect().width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(oLaidOut.size().width()).arg(pLabel->contentsRect().width())));
        return;
    }

    pWindow->onInstallationOrUpdateFinished(pInstallation);
    if (sWhat == QLatin1String("button menu")) {
        pPackage->setLocalPackageStatus(UpToDate);
        QMenu* pMenu = pItem->button()->menu();
        pMenu->ensurePolished();
        QCOMPARE(pMenu->palette().color(QPalette::Window), oPanel);
        QCOMPARE(pMenu->palette().color(QPalette::WindowText), oText);
        return;
    }

    // The same words look the same whoever shows them.
    QWidget oPlain;
    oPlain.show();
    QLabel* pPlainTip = shownToolTip(&oPlain, QStringLiteral("Client 0"));
    QVERIFY(pPlainTip);
    QCOMPARE(pPlainTip->palette().color(QPalette::Window), oPanel);
    QCOMPARE(pPlainTip->palette().color(QPalette::WindowText), oText);
    const QImage oPlainLook = pPlainTip->grab().toImage();
    QLabel* pTip = shownToolTip(pItem->button(), QStringLiteral("Client 0"));
    QVERIFY(pTip);
    QCOMPARE(pTip->grab().toImage(), oPlainLook);
    QToolTip::hideText();
}

void tst_MainWindow::cardKeepsItsSize_data()
{
    QTest::addColumn<QString>("sState");
    QTest::addColumn<QString>("sVersion");
    for (const char* pState : {"downloading", "retrying", "paused", "verifying", "failed, offline"})
        QTest::newRow(pState) << QString::fromLatin1(pState) << QStringLiteral("1.0");
    QTest::newRow("long version") << "failed, offline" << QStringLiteral("1.0.0-preview-build-20261207-europe-west");
}

// Whatever a card shows, it keeps the size it had as the installation
// started (that of a card not installed): the grid around it does not move.
void tst_MainWindow::cardKeepsItsSize()
{
    QFETCH(QString, sState);
    QFETCH(QString, sVersion);
    const TStartedInstallation oStarted = startInstallation(QStringLiteral("\"name\": \"Corvane Online Public Test Realm Europe West\","));
    const auto& [pMetadata, pPackage, pWindow, pItem, pBar, pInstallation] = oStarted;
    pPackage->platformBuild()->setConfiguration(std::make_shared<TPackageConfigurationReader>(
        QStringLiteral(R"({"version": "%1", "files": []})").arg(sVersion).toUtf8(), QByteArray(), QUrl(), QUrl()));
    const auto card = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return QList<QSize>{pItem->sizeHint(), pItem->versionLabel()->parentWidget()->size()};
    };
    const QList<QSize> lStarted = card();
    qint64 nNow = 0;
    pItem->setClock([&] { return nNow; });
    const shared::TFileSize nMillion = 1000000;
    for (int nTick = 1; nTick <= 30 && sState != QLatin1String("failed, offline"); ++nTick, nNow += 100)
        emit pInstallation->downloader()->progress(nTick * nMillion, 1024 * nMillion, 0, 1024 * nMillion);
    if (sState == QLatin1String("retrying")) {
        emit pInstallation->downloader()->retryWaiting(4, 4);
    } else if (sState == QLatin1String("paused")) {
        emit pInstallation->pausedChanged(true);
    } else if (sState == QLatin1String("verifying")) {
        emit pInstallation->verificationProgress(1024 * nMillion, 1024 * nMillion);
        QTRY_COMPARE(pItem->versionLabel()->text(), QStringLiteral("1024.0/1024.0 MB"));
    } else if (sState == QLatin1String("failed, offline")) {
        pInstallation->refuse(QStringLiteral("refused"));
        pWindow->onInstallationOrUpdateFinished(pInstallation);
        pWindow->setOffline(true);
        QCOMPARE(pItem->noteLabel()->text(), QStringLiteral("Last try failed"));
    }
    QCOMPARE(card(), lStarted);
}

void tst_MainWindow::hintPanesFillFromTheServer()
{
    const auto hint = [&](const char* pCategory, const QString& sPicture, const char* pCaption, const char* pUrl) {
        shared::THint oHint;
        oHint.m_sCategory = QLatin1String(pCategory);
        oHint.m_sImageUrl = sPicture.isEmpty() ? QString() : m_oServer.url(sPicture).toString();
        oHint.m_sRichText = QLatin1String(pCaption);
        oHint.m_sUrl = QLatin1String(pUrl);
        return oHint;
    };
    auto pWindow = shownWindow(packagesMetadata(1));
    QVERIFY(pWindow->hintSpaceReserved());
    THintRow* pRow = pWindow->hintRow();

    // Without "cat3" the row stays hidden and keeps its reserve.
    pWindow->setHints({hint("cat1", QString(), "One", "https://corvane.example/1"),
                       hint("cat2", QString(), "Two", "https://corvane.example/2")});
    QVERIFY(!pRow->isVisible());
    QVERIFY(pWindow->hintSpaceReserved());
    QVERIFY(pWindow->hintArea()->isVisible());

    // Whether each pane's picture came, once it settled.
    QList<int> lSettled = {-1, -1, -1};
    for (int nPane = 0; nPane < 3; ++nPane)
        connect(pRow->pane(nPane), &THintPane::pictureSettled, this, [&lSettled, nPane](bool bShown) { lSettled[nPane] = bShown; });
    pWindow->setHints({
        hint("Cat1", QStringLiteral("/wide.png"), "wrong case", "https://corvane.example/wrong"),
        hint("cat1", QStringLiteral("/wide.png"), "<b>News</b>", "https://corvane.example/news"),
        hint("cat2", QStringLiteral("/broken.png"), "Broken picture", "file:///etc/passwd"),
        hint("cat2", QStringLiteral("/wide.png"), "Second of its kind", "https://corvane.example/second"),
        hint("cat3", QStringLiteral("/missing.png"), "", "https://corvane.example/3"),
        hint("elsewhere", QString(), "Unknown", "https://corvane.example/x"),
    });
    QVERIFY(pRow->isVisible());
    QVERIFY(!pWindow->hintSpaceReserved());
    QTRY_COMPARE(lSettled, (QList<int>{1, 0, 0}));

    // The picture fills the pane, centred; the caption shows when it has text.
    ClickableLabel* pPicture = pRow->pane(0)->pictureLabel();
    QCOMPARE(pPicture->pixmap(Qt::ReturnByValue).size(), QSize(480, 80));
    QCOMPARE(pPicture->geometry(), QRect((THintPane::kWidth - 480) / 2, 0, 480, 80));
    QCOMPARE(pRow->pane(0)->captionLabel()->text(), QStringLiteral("<b>News</b>"));
    QVERIFY(pRow->pane(1)->pictureLabel()->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(pRow->pane(1)->captionLabel()->text(), QStringLiteral("Broken picture"));
    QVERIFY(pRow->pane(1)->captionLabel()->isVisible());
    QVERIFY(!pRow->pane(2)->captionLabel()->isVisible());

    // Clicks open web pages only.
    TOpenedLinks oLinks;
    QTest::mouseClick(pPicture, Qt::LeftButton);
    QTest::mouseClick(pRow->pane(0)->captionLabel(), Qt::LeftButton);
    QTest::mouseClick(pRow->pane(1)->captionLabel(), Qt::LeftButton);
    QTest::mouseClick(pRow->pane(2)->pictureLabel(), Qt::LeftButton);
    const QUrl oNews(QStringLiteral("https://corvane.example/news"));
    QCOMPARE(oLinks.links(), (QList<QUrl>{oNews, oNews, QUrl(QStringLiteral("https://corvane.example/3"))}));

    // A window closed while a picture is on its way is not reached by it.
    pWindow->setHints({hint("cat1", QStringLiteral("/wide.png"), "Late", "https://corvane.example/late")});
    pWindow.reset();
    emit m_pPool->success(m_oServer.url(QStringLiteral("/wide.png")), testPng(QSize(10, 10)));
    QSignalSpy oPool(m_pPool.get(), &shared::TDownloadPool::success);
    QVERIFY(oPool.wait());
}

void tst_MainWindow::manyPackagesScrollAndTheWindowDrags()
{
    const auto pWindow = shownWindow(packagesMetadata(6));
    QVERIFY(QTest::qWaitForWindowExposed(pWindow.get()));
    // Two rows are taller than the window: its scroll bar shows, within the window.
    QScrollBar* pScrollBar = pWindow->packageArea()->verticalScrollBar();
    QVERIFY(pScrollBar->isVisible());
    QVERIFY(pScrollBar->width() > 0 && pScrollBar->height() > 0);
    QVERIFY(pWindow->rect().contains(QRect(pScrollBar->mapTo(pWindow.get(), QPoint()), pScrollBar->size())));
    // Its handle is drawn, not only given a place: the middle of the handle's picture is seen
    // between the arrows (which wear the same colour).
    const QImage oBar = pScrollBar->grab().toImage();
    const QColor oHandle = QImage(QStringLiteral(":/images/launcher/scrollbar-handle-vertical.png")).pixelColor(6, 12);
    bool bHandleSeen = false;
    for (int nY = oBar.width() + 1; nY < oBar.height() - oBar.width() - 1 && !bHandleSeen; ++nY) {
        const QColor oSeen = oBar.pixelColor(oBar.width() / 2, nY);
        bHandleSeen = qAbs(oSeen.red() - oHandle.red()) + qAbs(oSeen.green() - oHandle.green())
                          + qAbs(oSeen.blue() - oHandle.blue()) < 12;
    }
    QVERIFY(bHandleSeen);
    // The last item can be scrolled into view; each logo moves with its card.
    const TClientPackageLayoutItem* pLast = pWindow->item(5);
    const auto place = [&](const QWidget* pWidget) { return pWidget->mapTo(pWindow.get(), QPoint()); };
    const QPoint oLogoOnCard = place(pLast->logoLabel()) - place(pLast->versionLabel()->parentWidget());
    const int nCardTop = place(pLast->button()).y();
    pWindow->packageArea()->ensureWidgetVisible(pLast->button());
    QVERIFY(pScrollBar->value() > 0);
    QCOMPARE(place(pLast->button()).y(), nCardTop - pScrollBar->value());
    QCOMPARE(place(pLast->logoLabel()) - place(pLast->versionLabel()->parentWidget()), oLogoOnCard);

    // Dragging the background moves the window by the mouse's way; a click does not.
    QWidget* pBackground = pWindow->centralWidget();
    const QPoint oStart = pWindow->pos();
    const QPoint oOrigin = pBackground->mapToGlobal(QPoint());
    const auto mouse = [&](QEvent::Type eType, const QPoint& oAt, Qt::MouseButton eButton, Qt::MouseButtons eButtons) {
        QMouseEvent oEvent(eType, oAt, oOrigin + oAt, eButton, eButtons, {});
        QApplication::sendEvent(pBackground, &oEvent);
    };
    const QPoint oGrip(400, pWindow->height() - 5);
    mouse(QEvent::MouseButtonPress, oGrip, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, oGrip, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(pWindow->pos(), oStart);
    mouse(QEvent::MouseButtonPress, oGrip, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, oGrip + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, oGrip, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(pWindow->pos(), oStart + QPoint(30, 20));
}

void tst_MainWindow::windowHasOneSizeAndTheIcon_data()
{
    QTest::addColumn<int>("nPackages");
    QTest::newRow("none") << 0;
    QTest::newRow("scrolling") << 14;
}

// Neither maximised nor resized, whatever it shows; the icon is the launcher's own.
void tst_MainWindow::windowHasOneSizeAndTheIcon()
{
    QFETCH(int, nPackages);
    const auto pWindow = shownWindow(packagesMetadata(nPackages));
    QVERIFY(QTest::qWaitForWindowExposed(pWindow.get()));
    QCOMPARE(pWindow->maximumSize(), pWindow->minimumSize());
    QCOMPARE(pWindow->size(), pWindow->minimumSize());
    QCOMPARE(pWindow->width(), 800);
    QVERIFY2(pWindow->height() >= 450 && pWindow->height() <= 600, qPrintable(QString::number(pWindow->height())));
    QVERIFY(!pWindow->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    pWindow->showMaximized();
    QCOMPARE(pWindow->size(), pWindow->minimumSize());
    // Compared as the pixmap holds it: taking the alpha out again rounds by the
    // processor's instruction set, so two machines would disagree by one step.
    QCOMPARE(pWindow->windowIcon().pixmap(48).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
             QImage(QStringLiteral(":/images/launcher/AppIcon_48.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

void tst_MainWindow::aboutBoxAndNoPackages()
{
    const auto pWindow = newWindow(packagesMetadata(0));
    QMessageBox* pBox = pWindow->messageBox();
    QVERIFY(pBox && pBox->isVisible());
    QVERIFY(!pBox->isModal());
    // Nothing to try again without packages.
    QVERIFY(pBox->informativeText().isEmpty());
    for (QAbstractButton* pButton : pBox->buttons())
        QVERIFY2(!pButton->isVisible() || pButton->text() != QLatin1String("Try again"), qPrintable(pButton->text()));

    // Without a translation the box still reads as text, not as identifiers.
    shared::TTranslationManager oTranslations;
    QVERIFY(!oTranslations.installFrom(m_oLauncherFolder.path()));
    auto* pAbout = pWindow->findChild<QLabel*>(QStringLiteral("aboutLink"));
    QVERIFY(pAbout);
    emit pAbout->linkActivated(QStringLiteral("about"));
    QCOMPARE(m_lBoxes.size(), size_t(1));
    QVERIFY(m_lBoxes[0].m_sText.contains(QLatin1String("2002&ndash;")));

    // The translation built next to the launcher replaces them.
    QVERIFY(oTranslations.installFrom(QStringLiteral(CORVANE_BINARY_DIR "/bin")));
    pWindow->onAboutDialogRequested(QStringLiteral("about"));
    QCOMPARE(m_lBoxes.size(), size_t(2));
    QVERIFY2(m_lBoxes[1].m_sText != m_lBoxes[0].m_sText && !m_lBoxes[1].m_sText.contains(QLatin1String("%")),
             qPrintable(m_lBoxes[1].m_sText));

    // Both name the launcher's version, and keep every address on one line
    // even where the box is narrower than the address.
    for (const TMessage& oBox : m_lBoxes) {
        QVERIFY2(oBox.m_sText.contains(launcherVersion()), qPrintable(oBox.m_sText));
        const QStringList lLines = laidOutLines(oBox.m_sText, 200);
        for (const char* pAddress : {"https://www.gnu.org/licenses/lgpl-3.0.html", "https://code.qt.io/cgit/qt/qtbase.git/"})
            QVERIFY2(lLines.contains(QLatin1String(pAddress)), qPrintable(lLines.join(QLatin1Char('|'))));
    }
}

void tst_MainWindow::traceFetchedOncePerRun_data()
{
    QTest::addColumn<QUrl>("oAddress");
    QTest::addColumn<bool>("bFailed");
    QTest::newRow("served") << m_oServer.url(QStringLiteral("/trace")) << false;
    // Failed for the rest of the run: no retry.
    QTest::newRow("not found") << m_oServer.url(QStringLiteral("/no-such-trace")) << true;
    // Valid as a URL but not fetchable: the pool refuses it. (No address at all: the failure box test.)
    QTest::newRow("relative") << QUrl(QStringLiteral("cdn-cgi/trace")) << true;
}

// The CDN trace the failure box shows is fetched once per run, whatever else the pool fetches.
void tst_MainWindow::traceFetchedOncePerRun()
{
    QFETCH(QUrl, oAddress);
    QFETCH(bool, bFailed);
    TCloudflareCdnTrace oTrace(oAddress, m_pPool);
    QSignalSpy oReceived(&oTrace, &TCloudflareCdnTrace::diagnosticsTraceReceived);
    QSignalSpy oPoolSuccess(m_pPool.get(), &shared::TDownloadPool::success);
    QSignalSpy oPoolFailed(m_pPool.get(), &shared::TDownloadPool::failed);

    // Before the trace is asked for, neither other files nor the trace address
    // fetched by someone else count.
    for (const QUrl& oUrl : {m_oServer.url(QStringLiteral("/other")), m_oServer.url(QStringLiteral("/missing")), oAddress})
        m_pPool->download(oUrl);
    QTRY_COMPARE_WITH_TIMEOUT(oPoolSuccess.size() + oPoolFailed.size(), 3, 20000);
    QCOMPARE(oReceived.size(), 0);
    QVERIFY(!oTrace.isReceived() && !oTrace.isFailed());

    // A second dialog while the first fetch runs does not start another, nor a later one.
    oTrace.requestTrace();
    oTrace.requestTrace();
    QCOMPARE(m_pPool->outstandingDownloads(), oAddress.isRelative() ? 0 : 1);
    m_pPool->download(m_oServer.url(QStringLiteral("/missing-too")));
    QTRY_COMPARE_WITH_TIMEOUT(oReceived.size(), 1, 20000);
    oTrace.requestTrace();
    QTRY_COMPARE_WITH_TIMEOUT(oPoolSuccess.size() + oPoolFailed.size(), 5, 20000);
    QCOMPARE(m_pPool->outstandingDownloads(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(oReceived.size(), 1);
    QCOMPARE(oReceived[0][0].toBool(), bFailed);
    QCOMPARE(oTrace.isFailed(), bFailed);
    QCOMPARE(oTrace.isReceived(), !bFailed);
}

void tst_MainWindow::verificationTellsWhatItFound_data()
{
    QTest::addColumn<QString>("sDamaged");
    QTest::addColumn<QString>("sAnswer");
    QTest::addColumn<QString>("sDetail");
    // Nothing to answer: the item says so, no box.
    QTest::newRow("all intact") << "" << "" << "";
    QTest::newRow("a file missing, repaired") << "bin/client" << "Repair now" << "\"bin/client\" is missing.";
    QTest::newRow("a file changed, left as it is") << "data/b.dat" << "OK" << "\"data/b.dat\" differs from the published file.";
}

// An explicit verification, run for real on a folder: its outcome is told, and
// a repair takes the road of the package's own button.
void tst_MainWindow::verificationTellsWhatItFound()
{
    QFETCH(QString, sDamaged);
    QFETCH(QString, sAnswer);
    QFETCH(QString, sDetail);
    m_sAnswer = sAnswer;
    const auto pMetadata = packagesMetadata(1);
    const auto pPackage = pMetadata->packages()[0];
    pPackage->setLocalPackageStatus(PartiallyInstalled);
    const auto pWindow = shownWindow(pMetadata);
    QSignalSpy oClicked(pWindow.get(), &TLauncherMainWindow::clientPackageButtonClicked);

    QTemporaryDir oFolder;
    QStringList lFiles;
    for (const char* pFile : {"bin/client", "data/a.dat", "data/b.dat"}) {
        const QByteArray aBytes = QByteArray("bytes of ") + pFile;
        QVERIFY(writeTestFile(oFolder.filePath(QLatin1String(pFile)), aBytes));
        lFiles << QStringLiteral(R"({"localfile": "%1", "unpackedsize": %2, "unpackedhash": "%3"})")
                      .arg(QLatin1String(pFile))
                      .arg(aBytes.size())
                      .arg(QString::fromLatin1(shared::TSha256::hash(aBytes).toHex()));
    }
    const auto pInstalled = std::make_shared<const TPackageConfigurationReader>(
        QStringLiteral(R"({"version": "1.0", "files": [%1]})").arg(lFiles.join(QLatin1Char(','))).toUtf8(), QByteArray(),
        QUrl(), QUrl());
    if (sDamaged == QLatin1String("bin/client"))
        QVERIFY(QFile::remove(oFolder.filePath(sDamaged)));
    else if (!sDamaged.isEmpty())
        QVERIFY(writeTestFile(oFolder.filePath(sDamaged), "bytes of data/b.daX"));

    const auto pInstallation = newInstallation(pPackage);
    pInstallation->setInstallationFolder(QDir(oFolder.path()));
    QSignalSpy oVerified(pInstallation.get(), &TPackageInstallation::verificationFinished);
    pWindow->onInstallationOrUpdateStarted(pInstallation);
    pInstallation->startVerification(pInstalled, true);
    QVERIFY(oVerified.wait(20000));
    pWindow->onInstallationOrUpdateFinished(pInstallation);
    QCoreApplication::processEvents();

    QLabel* pNote = pWindow->item(0)->noteLabel();
    QCOMPARE(packagesIn(oClicked), sAnswer == QLatin1String("Repair now") ? QList<int>{0} : QList<int>{});
    if (sDamaged.isEmpty()) {
        QVERIFY(m_lBoxes.empty());
        QVERIFY(pNote->isVisibleTo(pWindow.get()));
        QCOMPARE(pNote->text(), QStringLiteral("All 3 files are intact"));
        // The next request starts without it.
        pWindow->onInstallationOrUpdateStarted(newInstallation(pPackage));
        QVERIFY(!pNote->isVisibleTo(pWindow.get()));
        return;
    }
    QCOMPARE(m_lBoxes.size(), size_t(1));
    QCOMPARE(m_lBoxes[0].m_sTitle, QStringLiteral("Installation failed"));
    QCOMPARE(m_lBoxes[0].m_sText, QStringLiteral("The installation of Client 0 failed.\n\nVerification of game data failed!"));
    QCOMPARE(m_lBoxes[0].m_sDetail, sDetail);
    QCOMPARE(m_lBoxes[0].m_lButtons, QStringList({QStringLiteral("Repair now"), QStringLiteral("OK")}));
    QCOMPARE(pNote->text(), QStringLiteral("Last try failed"));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
