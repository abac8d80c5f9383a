// What a package's button tells before the click (the download, the room on
// disk, a disk too small), the update's note, the default checkbox's hint, and
// the uninstall from the menu: not while the client runs, asked first, then
// exactly the package's files.

#include "testfiles.h"
#include "testmetadata.h"
#include "testpool.h"

#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/engine/installationmanager.h"
#include "launcher/window/clientpackagelayoutitem.h"
#include "launcher/window/launchermainwindow.h"
#include "launcher/window/messagepresenter.h"
#include "launcher/window/qcontextpushbutton.h"

#include "shared/confinedfolder.h"
#include "shared/sha256.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

using namespace velmar::launcher;

namespace {

struct TDocumentFile
{
    QString m_sPath;
    qint64 m_nSize;
    // Stands for the unpacked hash: equal letters, equal contents.
    char m_cContent;
    // Whole files: the packed size; chunked ones: the names of their chunks.
    qint64 m_nPacked;
    QStringList m_lChunks = {};
};

// Every chunk is 10 MB, packed into 8 MB, and named after its contents.
constexpr qint64 kChunkSize = 10000000;
constexpr qint64 kPackedChunkSize = 8000000;

QString digestText(const QByteArray& aSeed)
{
    return QString::fromLatin1(shared::TSha256::hash(aSeed).toHex());
}

QByteArray packageDocument(const QString& sVersion, const QList<TDocumentFile>& lFiles)
{
    QJsonArray lChunks;
    QJsonArray lFileObjects;
    for (const TDocumentFile& oFile : lFiles) {
        QJsonObject oObject{{QStringLiteral("localfile"), oFile.m_sPath},
                            {QStringLiteral("unpackedsize"), double(oFile.m_nSize)},
                            {QStringLiteral("unpackedhash"), digestText(QByteArray(1, oFile.m_cContent))}};
        if (oFile.m_lChunks.isEmpty()) {
            oObject.insert(QStringLiteral("url"), QStringLiteral("files/%1").arg(QLatin1Char(oFile.m_cContent)));
            oObject.insert(QStringLiteral("packedsize"), double(oFile.m_nPacked));
            oObject.insert(QStringLiteral("packedhash"), digestText("packed " + QByteArray(1, oFile.m_cContent)));
        }
        QJsonArray lIndices;
        for (const QString& sChunk : oFile.m_lChunks) {
            lIndices.append(lChunks.size());
            lChunks.append(QJsonObject{{QStringLiteral("url"), QStringLiteral("chunks/") + sChunk},
                                       {QStringLiteral("packedsize"), double(kPackedChunkSize)},
                                       {QStringLiteral("packedhash"), digestText("packed " + sChunk.toUtf8())},
                                       {QStringLiteral("unpackedsize"), double(kChunkSize)},
                                       {QStringLiteral("unpackedhash"), digestText(sChunk.toUtf8())}});
        }
        oObject.insert(QStringLiteral("chunks"), lIndices);
        lFileObjects.append(oObject);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), sVersion},
                                     {QStringLiteral("chunks"), lChunks},
                                     {QStringLiteral("files"), lFileObjects}})
        .toJson(QJsonDocument::Compact);
}

// Published: 1.1.0. A download fetches 1 + 3 x 8 + 0.2 = 25.2 MB and takes
// 2 + 30 + 0.5 = 32.5 MB on disk.
QByteArray publishedDocument()
{
    return packageDocument(QStringLiteral("1.1.0"),
                           {{QStringLiteral("bin/client"), 2000000, 'a', 1000000},
                            {QStringLiteral("data/world.pak"), 3 * kChunkSize, 'w', 0,
                             {QStringLiteral("w1"), QStringLiteral("w2"), QStringLiteral("w3")}},
                            {QStringLiteral("data/new.txt"), 500000, 'n', 200000}});
}

// Installed: 1.0.0, from which the update fetches the chunk w3 and new.txt
// (8.2 MB); its room is 5 MB more for the world, 0.5 MB for new.txt, less 1.5 MB
// for gone.txt: 4.0 MB. lExtra adds a file the update drops.
QByteArray installedDocument(const QList<TDocumentFile>& lExtra = {})
{
    return packageDocument(QStringLiteral("1.0.0"),
                           QList<TDocumentFile>{{QStringLiteral("bin/client"), 2000000, 'a', 1000000},
                                                {QStringLiteral("data/world.pak"), 25000000, 'v', 0,
                                                 {QStringLiteral("w1"), QStringLiteral("w2"), QStringLiteral("w0")}},
                                                {QStringLiteral("data/gone.txt"), 1500000, 'g', 700000}}
                               + lExtra);
}

// Answers every box with the scripted button and keeps what it showed.
struct TScriptedPresenter : TMessagePresenter
{
    TScriptedPresenter(QMessageBox::StandardButton eAnswer, QStringList& lShown) : m_eAnswer(eAnswer), m_lShown(lShown) {}
    QMessageBox::StandardButton present(QWidget*, QMessageBox::Icon, const QString& sTitle, const QString& sText,
                                        QMessageBox::StandardButtons) override
    {
        m_lShown << sTitle + QStringLiteral(" | ") + sText;
        return m_eAnswer;
    }
    QMessageBox::StandardButton m_eAnswer;
    QStringList& m_lShown;
};

QStringList filesBelow(const QString& sFolder)
{
    QStringList lFiles;
    QDirIterator oIterator(sFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (oIterator.hasNext())
        lFiles << QDir(sFolder).relativeFilePath(oIterator.next());
    lFiles.sort();
    return lFiles;
}

// Opens the button's menu as a right-click does; the entries it shows.
QStringList openMenu(QContextPushButton* pButton)
{
    QContextMenuEvent oRightClick(QContextMenuEvent::Mouse, QPoint(5, 5), pButton->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(pButton, &oRightClick);
    QStringList lShown;
    for (QAction* pAction : pButton->menu()->actions()) {
        if (pAction->isVisible())
            lShown << pAction->text();
    }
    return lShown;
}

} // namespace

class tst_PackageActions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void buttonTellsTheSizeBeforeTheClick_data();
    void buttonTellsTheSizeBeforeTheClick();
    void uninstallIsAskedAndDeletesOnlyThePackage_data();
    void uninstallIsAskedAndDeletesOnlyThePackage();

private:
    // One package, "Client 0", published as aPublished, in launcher/packages/c0.
    void makeWindow(const QByteArray& aPublished = publishedDocument())
    {
        m_pMetadata = packagesMetadata(1);
        m_pMetadata->packages().front()->platformBuild()->setConfiguration(
            std::make_shared<TPackageConfigurationReader>(aPublished, QByteArray(), QUrl(), QUrl()));
        m_pManager = std::make_unique<TInstallationManager>(
            m_pMetadata, std::make_shared<TLauncherFilesystemHelper>(m_pLauncher->path()));
        m_pWindow = std::make_unique<TLauncherMainWindow>(m_pMetadata->packages(), m_pManager.get(), true, newTestPool(),
                                                          nullptr, m_pMetadata);
        m_pWindow->show();
    }
    QString folder() const { return m_pLauncher->filePath(QStringLiteral("packages/c0")); }
    TClientPackageLayoutItem* item() const { return m_pWindow->item(0); }

    std::unique_ptr<QTemporaryDir> m_pLauncher;
    std::shared_ptr<TLauncherConfigurationReader> m_pMetadata;
    std::unique_ptr<TInstallationManager> m_pManager;
    std::unique_ptr<TLauncherMainWindow> m_pWindow;
    QStringList m_lShown;
};

void tst_PackageActions::init()
{
    m_pLauncher = std::make_unique<QTemporaryDir>();
    m_lShown.clear();
}

void tst_PackageActions::cleanup()
{
    m_pWindow.reset();
    m_pManager.reset();
    TMessagePresenter::setInstance(nullptr);
}

void tst_PackageActions::buttonTellsTheSizeBeforeTheClick_data()
{
    QTest::addColumn<QByteArray>("aInstalled");
    QTest::addColumn<bool>("bPartial");
    // Bytes the file system leaves; -1: it does not say.
    QTest::addColumn<qint64>("nFree");
    QTest::addColumn<QString>("sToolTip");
    // Empty: no note.
    QTest::addColumn<QString>("sNote");
    const QString sDot = QString(QChar(0x00B7));
    // The note's figures keep their units on their line.
    const QString s8_2 = QStringLiteral("8.2") + QChar(QChar::Nbsp) + QStringLiteral("MB");
    const QString sUpdateNote = "from 1.0.0 " + sDot + " " + s8_2 + " to download";
    QTest::newRow("download") << QByteArray() << false << qint64(1000000000)
                              << "Download\nDownloads 25.2 MB, needs 32.5 MB on disk" << QString();
    QTest::newRow("download, disk too small")
        << QByteArray() << false << qint64(20000000)
        << "Download\nDownloads 25.2 MB, needs 32.5 MB on disk\nNot enough free space: 20.0 MB free" << QString();
    QTest::newRow("download, free space unknown")
        << QByteArray() << false << qint64(-1) << "Download\nDownloads 25.2 MB, needs 32.5 MB on disk" << QString();
    QTest::newRow("update") << installedDocument() << false << qint64(1000000000)
                            << "Update\nDownloads 8.2 MB, needs 4.0 MB more on disk" << sUpdateNote;
    QTest::newRow("update, disk too small")
        << installedDocument() << false << qint64(3000000)
        << "Update\nDownloads 8.2 MB, needs 4.0 MB more on disk\nNot enough free space: 3.0 MB free" << sUpdateNote;
    QTest::newRow("update that frees room")
        << installedDocument({{QStringLiteral("data/old.pak"), 9000000, 'o', 4000000}}) << false << qint64(0)
        << "Update\nDownloads 8.2 MB, needs no more room on disk" << sUpdateNote;
    // A broken-off install of the published version: what is there is unknown.
    QTest::newRow("install broken off") << publishedDocument() << true << qint64(1000000000)
                                        << "Update\nDownloads up to 25.2 MB, needs up to 32.5 MB on disk"
                                        << "up to 25.2" + QString(QChar(QChar::Nbsp)) + "MB to download";
    QTest::newRow("update broken off") << installedDocument() << true << qint64(1000000000)
                                       << "Update\nDownloads up to 8.2 MB, needs up to 4.0 MB more on disk"
                                       << "from 1.0.0 " + sDot + " up to " + s8_2 + " to download";
}

void tst_PackageActions::buttonTellsTheSizeBeforeTheClick()
{
    QFETCH(QByteArray, aInstalled);
    QFETCH(bool, bPartial);
    QFETCH(qint64, nFree);
    QFETCH(QString, sToolTip);
    QFETCH(QString, sNote);
    if (!aInstalled.isEmpty()) {
        const QString sMarker = bPartial ? QStringLiteral("/partial-package.json") : QStringLiteral("/package.json");
        QVERIFY(writeTestFile(folder() + sMarker, aInstalled));
    }
    makeWindow();
    QStringList lAsked;
    m_pWindow->setFreeSpaceProbe([&](const QString& sFolder) -> std::optional<shared::TFileSize> {
        lAsked << sFolder;
        return nFree < 0 ? std::nullopt : std::optional<shared::TFileSize>(shared::TFileSize(nFree));
    });
    QCOMPARE(item()->button()->toolTip(), sToolTip);
    QCOMPARE(item()->noteLabel()->isVisible(), !sNote.isEmpty());
    if (!sNote.isEmpty())
        QCOMPARE(item()->noteLabel()->text(), sNote);
    // The version is the build's; the folder asked is the package's own.
    QCOMPARE(item()->versionLabel()->text(), QStringLiteral("1.1.0"));
    // The note takes the lines kept for it: the card is as large as one without.
    const auto pPlain = packagesMetadata(1);
    const TLauncherMainWindow oPlain(pPlain->packages(), nullptr, true, newTestPool(), nullptr, pPlain);
    QCOMPARE(item()->sizeHint(), oPlain.item(0)->sizeHint());
    QVERIFY(!lAsked.isEmpty());
    QCOMPARE(lAsked.last(), QDir(folder()).absolutePath());
}

void tst_PackageActions::uninstallIsAskedAndDeletesOnlyThePackage_data()
{
    QTest::addColumn<int>("nAnswer");
    QTest::addColumn<bool>("bFolderHeld");
    QTest::addColumn<QStringList>("lLeft");
    QTest::addColumn<QString>("sFailure");
    const QStringList lAll{QStringLiteral("bin/client"),      QStringLiteral("data/maps/world.pak"),
                           QStringLiteral("data/notes.txt"),  QStringLiteral("data/small.txt"),
                           QStringLiteral("default"),         QStringLiteral("package.json"),
                           QStringLiteral("saves/slot1.sav")};
    QTest::newRow("no") << int(QMessageBox::No) << false << lAll << QString();
    QTest::newRow("yes") << int(QMessageBox::Yes) << false
                         << QStringList{QStringLiteral("data/notes.txt"), QStringLiteral("saves/slot1.sav")} << QString();
    QTest::newRow("yes, folder held by another program")
        << int(QMessageBox::Yes) << true << lAll << QStringLiteral("being changed by another program");
}

void tst_PackageActions::uninstallIsAskedAndDeletesOnlyThePackage()
{
    QFETCH(int, nAnswer);
    const auto eAnswer = QMessageBox::StandardButton(nAnswer);
    QFETCH(bool, bFolderHeld);
    QFETCH(QStringList, lLeft);
    QFETCH(QString, sFailure);
    TMessagePresenter::setInstance(std::make_unique<TScriptedPresenter>(eAnswer, m_lShown));
    // Installed: three files of 1,000, 2,500,000 and 6 bytes; beside them two of
    // the player's own, and the launcher's default marker.
    const QList<TDocumentFile> lInstalled{{QStringLiteral("bin/client"), 1000, 'c', 500},
                                          {QStringLiteral("data/maps/world.pak"), 2500000, 'w', 900000},
                                          {QStringLiteral("data/small.txt"), 6, 's', 6},
                                          {QStringLiteral("data/notes.txt"), 4, 'm', 0},
                                          {QStringLiteral("saves/slot1.sav"), 8, 'm', 0},
                                          {QStringLiteral("default"), 0, 'd', 0}};
    const QByteArray aDocument = packageDocument(QStringLiteral("1.1.0"), lInstalled.mid(0, 3));
    QVERIFY(writeTestFile(folder() + QStringLiteral("/package.json"), aDocument));
    for (const TDocumentFile& oFile : lInstalled)
        QVERIFY(writeTestFile(folder() + QLatin1Char('/') + oFile.m_sPath, QByteArray(int(oFile.m_nSize), oFile.m_cContent)));
    makeWindow(aDocument);
    const std::shared_ptr<TPackage> pPackage = m_pMetadata->packages().front();
    QCOMPARE(pPackage->localPackageStatus(), UpToDate);
    QVERIFY(pPackage->isDefault());
    // The default checkbox tells the way back to the launcher.
    const QString sHint = item()->defaultClientCheckbox()->toolTip();
    QVERIFY2(sHint.contains(QLatin1String("straight into this game")), qPrintable(sHint));
    QVERIFY2(sHint.contains(QLatin1String("\"Open the launcher\"")) && sHint.contains(QLatin1String("--show-ui")),
             qPrintable(sHint));
    // Not offered while the client runs.
    // The window outlives this function: the check keeps its answer alive.
    const auto pClientRuns = std::make_shared<bool>(true);
    m_pWindow->setClientRunningCheck([pClientRuns] { return *pClientRuns; });
    QCOMPARE(openMenu(item()->button()), QStringList{QStringLiteral("Verify")});
    item()->button()->menu()->close();
    *pClientRuns = false;

    std::unique_ptr<shared::TConfinedFolder> pHolder;
    if (bFolderHeld) {
        pHolder = std::make_unique<shared::TConfinedFolder>(folder());
        QVERIFY(pHolder->tryLock());
    }
    QSignalSpy oFinished(m_pManager.get(), &TInstallationManager::uninstallFinished);
    QContextPushButton* pButton = item()->button();
    QCOMPARE(openMenu(pButton), QStringList({QStringLiteral("Verify"), QStringLiteral("Uninstall")}));
    pButton->menu()->actions().last()->trigger();
    pButton->menu()->close();
    QCOMPARE(m_lShown.size(), 1);
    QVERIFY2(m_lShown.first().contains(QLatin1String("Uninstall Client 0")), qPrintable(m_lShown.first()));
    QVERIFY2(m_lShown.first().contains(QLatin1String("deletes its 3 files and frees 2.5 MB on disk")),
             qPrintable(m_lShown.first()));
    if (eAnswer == QMessageBox::Yes) {
        // The files go on another thread; the item waits, without a button to press.
        QVERIFY(item()->isBusy());
        QVERIFY(!pButton->isVisibleTo(m_pWindow.get()));
        QVERIFY(oFinished.wait(60000));
        const QString sError = oFinished.first().at(1).toString();
        QVERIFY2(sError.isEmpty() == sFailure.isEmpty() && sError.contains(sFailure), qPrintable(sError));
        QVERIFY(!item()->isBusy());
    }
    QCOMPARE(oFinished.size(), eAnswer == QMessageBox::Yes ? 1 : 0);
    QCOMPARE(filesBelow(folder()), lLeft);
    const bool bGone = lLeft.size() == 2;
    QCOMPARE(pPackage->localPackageStatus(), bGone ? NotInstalled : UpToDate);
    QCOMPARE(pPackage->isDefault(), !bGone);
    QCOMPARE(item()->button()->toolTip().section(QLatin1Char('\n'), 0, 0), bGone ? QStringLiteral("Download") : QStringLiteral("Play"));
    QCOMPARE(item()->defaultClientCheckbox()->isVisibleTo(m_pWindow.get()), !bGone);
    QCOMPARE(m_lShown.size(), sFailure.isEmpty() ? 1 : 2);
    if (!sFailure.isEmpty())
        QVERIFY2(m_lShown.last().startsWith(QLatin1String("Uninstall failed | ")) && m_lShown.last().contains(sFailure),
                 qPrintable(m_lShown.last()));
}

QTEST_MAIN(tst_PackageActions)
#include "tst_packageactions.moc"
