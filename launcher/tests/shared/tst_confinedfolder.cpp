// The install engine's way into a package folder: everything below it reached
// through the folder's descriptor and never through a link, by openat2 and by
// the walk a component at a time that stands in where openat2 is missing; and
// the folder's lock.

#include "shared/checkedfile.h"
#include "shared/checkedfileio.h"
#include "shared/confinedfolder.h"
#include "testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

using shared::TCheckedFile;
using shared::TConfinedFolder;

#define QVERIFY_THROWS(expression) QVERIFY_EXCEPTION_THROWN(expression, std::runtime_error)

class tst_ConfinedFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void init();
    void filesBelowTheFolder();
    void linksLeadNowhere();
    void oneLockHolder();
};

// Every test by both ways of resolving paths.
void tst_ConfinedFolder::initTestCase_data()
{
    QTest::addColumn<bool>("bWalk");
    QTest::newRow("openat2") << false;
    QTest::newRow("walk a component at a time") << true;
}

void tst_ConfinedFolder::init()
{
    QFETCH_GLOBAL(bool, bWalk);
    TConfinedFolder::setComponentWalk(bWalk);
}

// Create, write, read, rename, link and remove below the folder, which is made
// when missing; paths that are not plain names are refused.
void tst_ConfinedFolder::filesBelowTheFolder()
{
    QTemporaryDir oRoot;
    const TConfinedFolder oFolder(oRoot.filePath(QStringLiteral("package")));
    oFolder.createFolders(QStringLiteral("data/maps"));
    shared::replaceFile(oFolder, QStringLiteral("data/maps/a.map"), "map");
    QCOMPARE(readTestFile(oRoot.filePath(QStringLiteral("package/data/maps/a.map"))), QByteArray("map"));
    QVERIFY(!QFileInfo::exists(oRoot.filePath(QStringLiteral("package/data/maps/a.map.new"))));
    QCOMPARE(shared::readFileIfExists(oFolder, QStringLiteral("data/maps/a.map")), QByteArray("map"));
    QCOMPARE(shared::readFileIfExists(oFolder, QStringLiteral("data/none")), QByteArray());
    const TConfinedFolder::TStatus oStatus = oFolder.status(QStringLiteral("data/maps/a.map"));
    QCOMPARE(int(oStatus.m_eEntry), int(TConfinedFolder::EEntry::File));
    QCOMPARE(oStatus.m_nSize, shared::TFileSize(3));
    QCOMPARE(oFolder.entries(QStringLiteral("data/maps")), QStringList{QStringLiteral("a.map")});
    QCOMPARE(oFolder.entries(QStringLiteral("data/none")), QStringList());
    QCOMPARE(oFolder.entries(QStringLiteral("data/maps/a.map")), QStringList());

    oFolder.link(QStringLiteral("data/maps/a.map"), QStringLiteral("data/a.old"));
    oFolder.rename(QStringLiteral("data/a.old"), QStringLiteral("b.map"));
    QCOMPARE(readTestFile(oRoot.filePath(QStringLiteral("package/b.map"))), QByteArray("map"));
    QVERIFY(oFolder.removeFile(QStringLiteral("b.map")));
    QVERIFY(!oFolder.removeFile(QStringLiteral("b.map")));
    oFolder.removePath(QStringLiteral("data"));
    QCOMPARE(int(oFolder.status(QStringLiteral("data")).m_eEntry), int(TConfinedFolder::EEntry::Missing));

    TCheckedFile oFile;
    for (const char* pPath : {"../package/x", "/etc/passwd", "a//b", "./x", ""})
        QVERIFY2(!oFile.open(oFolder, QLatin1String(pPath), QIODevice::ReadWrite), pPath);
    QVERIFY_THROWS(oFolder.createFolders(QStringLiteral("a/../../b")));
    QVERIFY(!QFileInfo::exists(oRoot.filePath(QStringLiteral("b"))));
}

// A link in the folder, on the way or at the end, is never followed: what it
// leads to is neither read, written, created, renamed into nor removed.
void tst_ConfinedFolder::linksLeadNowhere()
{
    QTemporaryDir oRoot;
    const QString sOutside = oRoot.filePath(QStringLiteral("outside"));
    QVERIFY(writeTestFile(sOutside + QStringLiteral("/secret"), "secret"));
    const TConfinedFolder oFolder(oRoot.filePath(QStringLiteral("package")));
    QVERIFY(QFile::link(sOutside, oRoot.filePath(QStringLiteral("package/data"))));
    QVERIFY(QFile::link(sOutside + QStringLiteral("/secret"), oRoot.filePath(QStringLiteral("package/file"))));
    QVERIFY(writeTestFile(oRoot.filePath(QStringLiteral("package/mine")), "mine"));

    TCheckedFile oFile;
    QVERIFY(!oFile.open(oFolder, QStringLiteral("data/secret"), QIODevice::ReadOnly));
    QVERIFY(!oFile.open(oFolder, QStringLiteral("data/new"), QIODevice::ReadWrite));
    QVERIFY(!oFile.open(oFolder, QStringLiteral("file"), QIODevice::ReadWrite | QIODevice::Truncate));
    QVERIFY_THROWS(shared::replaceFile(oFolder, QStringLiteral("data/new"), "x"));
    QVERIFY_THROWS(oFolder.createFolders(QStringLiteral("data/sub")));
    QVERIFY_THROWS(oFolder.rename(QStringLiteral("mine"), QStringLiteral("data/mine")));
    QVERIFY_THROWS(oFolder.removeFile(QStringLiteral("data/secret")));
    QCOMPARE(int(oFolder.status(QStringLiteral("data/secret")).m_eEntry), int(TConfinedFolder::EEntry::Link));
    QCOMPARE(int(oFolder.status(QStringLiteral("file")).m_eEntry), int(TConfinedFolder::EEntry::Link));
    QCOMPARE(oFolder.entries(QStringLiteral("data")), QStringList());

    // Removing a link, or a folder holding one, takes the link only.
    QVERIFY(QDir().mkpath(oRoot.filePath(QStringLiteral("package/tree/deep"))));
    QVERIFY(QFile::link(sOutside, oRoot.filePath(QStringLiteral("package/tree/deep/away"))));
    oFolder.removePath(QStringLiteral("tree"));
    oFolder.removePath(QStringLiteral("data"));
    QVERIFY(oFolder.removeFile(QStringLiteral("file")));
    QCOMPARE(QDir(oRoot.filePath(QStringLiteral("package"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList{QStringLiteral("mine")});
    QCOMPARE(QDir(sOutside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("secret")});
    QCOMPARE(readTestFile(sOutside + QStringLiteral("/secret")), QByteArray("secret"));
}

// One holder at a time, whether in this process or another; the lock goes with unlock().
void tst_ConfinedFolder::oneLockHolder()
{
    QTemporaryDir oRoot;
    TConfinedFolder oFirst(oRoot.path());
    TConfinedFolder oSecond(oRoot.path());
    QVERIFY(oFirst.tryLock());
    QVERIFY(!oSecond.tryLock());
    QCOMPARE(QProcess::execute(QStringLiteral("flock"), {QStringLiteral("--nonblock"), oRoot.path(), QStringLiteral("true")}), 1);
    oFirst.unlock();
    QVERIFY(oSecond.tryLock());
    QVERIFY(oSecond.availableSpace() > 0);
}

QTEST_GUILESS_MAIN(tst_ConfinedFolder)
#include "tst_confinedfolder.moc"
