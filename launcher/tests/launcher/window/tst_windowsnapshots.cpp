// The pictures the screenshot script gets from the window: each state it
// reaches is saved under its name, a box with named buttons is drawn as the
// player would see it and still answered without anybody at the screen, and
// the verification the script asks for starts once.

#include "testmetadata.h"
#include "testpool.h"
#include "testseams.h"

#include "launcher/documents/package.h"
#include "launcher/window/launchermainwindow.h"
#include "launcher/window/messagepresenter.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmar::launcher;

class tst_WindowSnapshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { CORVANE_SKIP_WITHOUT_SEAM("CORVANE_SNAPSHOTS"); }
    // A folder of its own for each: a picture already there is never taken again.
    void init()
    {
        m_pFolder = std::make_unique<QTemporaryDir>();
        qputenv("CORVANE_SNAPSHOTS", m_pFolder->path().toLocal8Bit());
    }
    void cleanup()
    {
        for (const char* pName : {"CORVANE_SNAPSHOTS", "CORVANE_SNAPSHOT_VERIFY", "CORVANE_MESSAGES", "CORVANE_MESSAGE_ANSWER"})
            qunsetenv(pName);
        TMessagePresenter::setInstance(nullptr);
    }
    void idleStatesAreNamed_data();
    void idleStatesAreNamed();
    void boxIsDrawnAndAnswered();
    void verificationIsAskedOnce();

private:
    std::unique_ptr<TLauncherMainWindow> newWindow(const std::vector<ELocalPackageStatus>& lStatuses)
    {
        m_pMetadata = packagesMetadata(int(lStatuses.size()));
        for (size_t nPackage = 0; nPackage < lStatuses.size(); ++nPackage)
            m_pMetadata->packages()[nPackage]->setLocalPackageStatus(lStatuses[nPackage]);
        return std::make_unique<TLauncherMainWindow>(m_pMetadata->packages(), nullptr, true, newTestPool(), nullptr,
                                                     m_pMetadata);
    }
    QStringList pictures() const
    {
        return QDir(m_pFolder->path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    }

    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::shared_ptr<TLauncherConfigurationReader> m_pMetadata;
};

// Each state is named once per run, so no two rows expect the same picture.
void tst_WindowSnapshots::idleStatesAreNamed_data()
{
    QTest::addColumn<int>("nPackages");
    QTest::addColumn<int>("eStatus");
    QTest::addColumn<bool>("bOffline");
    QTest::addColumn<QStringList>("lPictures");
    QTest::newRow("six to download") << 6 << int(NotInstalled) << false
                                     << QStringList{"not-installed.png", "six-packages.png"};
    QTest::newRow("offline, one installed") << 1 << int(UpToDate) << true << QStringList{"offline.png"};
    // Without an installation manager there is no size estimate, so no note: only the button tells.
    QTest::newRow("update without its note") << 2 << int(UpdateAvailable) << false << QStringList{"update-available.png"};
    QTest::newRow("online, installed, no default") << 1 << int(UpToDate) << false << QStringList{};
}

void tst_WindowSnapshots::idleStatesAreNamed()
{
    QFETCH(int, nPackages);
    QFETCH(int, eStatus);
    QFETCH(bool, bOffline);
    QFETCH(QStringList, lPictures);
    const auto pWindow = newWindow(std::vector<ELocalPackageStatus>(size_t(nPackages), ELocalPackageStatus(eStatus)));
    pWindow->setOffline(bOffline);
    pWindow->show();
    QCoreApplication::processEvents();
    QCOMPARE(pictures(), lPictures);
    for (const QString& sPicture : lPictures)
        QCOMPARE(QImage(m_pFolder->filePath(sPicture)).size(), pWindow->size());
}

void tst_WindowSnapshots::boxIsDrawnAndAnswered()
{
    qputenv("CORVANE_MESSAGES", "log");
    qputenv("CORVANE_MESSAGE_ANSWER", "Repair now");
    TMessagePresenter::setInstance(nullptr);
    const TMessage oMessage{QMessageBox::Critical, QStringLiteral("Installation failed"),
                            QStringLiteral("The installation of Client 0 failed.\n\nVerification of game data failed!"),
                            QStringLiteral("data/b.dat: the content differs"),
                            QStringList{QStringLiteral("Repair now"), QStringLiteral("OK")}};

    QCOMPARE(presentMessage(nullptr, oMessage), QStringLiteral("Repair now"));
    QCOMPARE(pictures(), QStringList{"themed-box.png"});
    // The box itself, which is narrower than the window and taller than one line.
    const QImage oPicture(m_pFolder->filePath(QStringLiteral("themed-box.png")));
    QVERIFY2(oPicture.width() > 200 && oPicture.width() < 800 && oPicture.height() > 80,
             qPrintable(QStringLiteral("%1x%2").arg(oPicture.width()).arg(oPicture.height())));
    // Gone once answered: nothing is left open on the screen.
    for (const QWidget* pWidget : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<const QMessageBox*>(pWidget) || !pWidget->isVisible());

    qunsetenv("CORVANE_MESSAGE_ANSWER");
    QCOMPARE(presentMessage(nullptr, oMessage), QStringLiteral("OK"));
}

void tst_WindowSnapshots::verificationIsAskedOnce()
{
    qputenv("CORVANE_SNAPSHOT_VERIFY", "1");
    const auto pWindow = newWindow({NotInstalled, UpToDate, UpToDate});
    QList<qint32> lVerified;
    connect(pWindow.get(), &TLauncherMainWindow::clientPackageVerifyButtonClicked, this,
            [&lVerified](const std::shared_ptr<TPackage>& pPackage) { lVerified << pPackage->index(); });
    for (int nShown = 0; nShown < 2; ++nShown) {
        pWindow->show();
        QCoreApplication::processEvents();
        QCOMPARE(lVerified, QList<qint32>{1});
        pWindow->hide();
    }
}

QTEST_MAIN(tst_WindowSnapshots)
#include "tst_windowsnapshots.moc"
