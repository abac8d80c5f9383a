// The installation manager's decisions that need no download: which package is
// the default, and which packages may not be installed at all.

#include "testfiles.h"
#include "testmetadata.h"

#include "launcher/installationmanager.h"
#include "launcher/launcherfilesystemhelper.h"
#include "launcher/packageinstallation.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace velmar::launcher;

class tst_InstallationManager : public QObject
{
    Q_OBJECT

private slots:
    void defaultIsTheFirstInstalledPackageWithTheMarker();
    void unusableFolderIsRefusedWithoutTouchingTheDisk_data();
    void unusableFolderIsRefusedWithoutTouchingTheDisk();
};

void tst_InstallationManager::defaultIsTheFirstInstalledPackageWithTheMarker()
{
    QTemporaryDir oLauncher;
    const auto pHelper = std::make_shared<TLauncherFilesystemHelper>(oLauncher.path());
    const auto pMetadata = packagesMetadata(3, QString(), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    // a: marked default but not installed; b and c: installed and marked.
    QVERIFY(writeTestFile(oLauncher.filePath(QStringLiteral("packages/a/default")), QByteArray()));
    for (const char* pFolder : {"b", "c"}) {
        QVERIFY(writeTestFile(oLauncher.filePath(QStringLiteral("packages/%1/default").arg(QLatin1String(pFolder))), QByteArray()));
        QVERIFY(QFile::copy(QStringLiteral(":/settings/launchersettings.ini"), oLauncher.filePath(QStringLiteral("packages/%1/partial-package.json").arg(QLatin1String(pFolder)))));
    }
    TInstallationManager oManager(pMetadata, pHelper);
    QVERIFY(!pMetadata->packages()[0]->isDefault());
    QVERIFY(pMetadata->packages()[1]->isDefault());
    QVERIFY(!pMetadata->packages()[2]->isDefault());

    // Choosing another default leaves exactly one marker, in a folder made for it.
    oManager.setDefaultPackage(pMetadata->packages()[0]);
    QVERIFY(QFileInfo::exists(oLauncher.filePath(QStringLiteral("packages/a/default"))));
    QVERIFY(!QFileInfo::exists(oLauncher.filePath(QStringLiteral("packages/b/default"))));
    QVERIFY(!QFileInfo::exists(oLauncher.filePath(QStringLiteral("packages/c/default"))));
}

void tst_InstallationManager::unusableFolderIsRefusedWithoutTouchingTheDisk_data()
{
    QTest::addColumn<QString>("sFolder");
    QTest::newRow("empty") << "";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("separator") << "a/b";
    QTest::newRow("another package's") << "shared";
}

void tst_InstallationManager::unusableFolderIsRefusedWithoutTouchingTheDisk()
{
    QFETCH(QString, sFolder);
    QTemporaryDir oLauncher;
    const auto pHelper = std::make_shared<TLauncherFilesystemHelper>(oLauncher.path());
    const auto pMetadata = packagesMetadata(2, QString(), {QStringLiteral("shared"), sFolder});
    TInstallationManager oManager(pMetadata, pHelper);
    QSignalSpy oStarted(&oManager, &TInstallationManager::installationOrUpdateStarted);
    QSignalSpy oFinished(&oManager, &TInstallationManager::installationOrUpdateFinished);
    QSignalSpy oAllFinished(&oManager, &TInstallationManager::allStartedUpdatesFinished);

    oManager.installOrUpdatePackage(pMetadata->packages()[1]);
    QCOMPARE(oStarted.count(), 1);
    QCOMPARE(oFinished.count(), 1);
    QCOMPARE(oAllFinished.count(), 1);
    const auto pInstallation = oFinished.first().first().value<std::shared_ptr<TPackageInstallation>>();
    QVERIFY(!pInstallation->succeeded());
    QCOMPARE(pInstallation->errorReason(), InvalidPackage);
    QVERIFY(!pInstallation->errorMessage().isEmpty());
    QCOMPARE(QDir(oLauncher.filePath(QStringLiteral("packages"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

QTEST_GUILESS_MAIN(tst_InstallationManager)
#include "tst_installationmanager.moc"
