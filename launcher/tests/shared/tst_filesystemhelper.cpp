#include "shared/filesystemhelper.h"
#include "noisebytes.h"
#include "testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using shared::TFileSystemHelper;

class tst_FileSystemHelper : public QObject
{
    Q_OBJECT

private slots:
    void pathInsideFolder_data();
    void pathInsideFolder();
    void listing();
    void writeAndReadRoundTrip();

private:
    TFileSystemHelper m_oHelper;
};

void tst_FileSystemHelper::pathInsideFolder_data()
{
    QTest::addColumn<QString>("sFolder");
    QTest::addColumn<QString>("sRelative");
    QTest::addColumn<QString>("sExpected");

    QTest::newRow("sub folders") << "/x/packages" << "sub/dir" << "/x/packages/sub/dir";
    QTest::newRow("climbs out") << "/x/packages" << "../evil/file" << "/x/packages/file";
    QTest::newRow("sibling sharing the prefix") << "/x/packages" << "../packages-evil/f" << "/x/packages/f";
    QTest::newRow("absolute path") << "/x/packages" << "/etc/passwd" << "/x/packages/etc/passwd";
    QTest::newRow("down and up, still inside") << "/x/packages" << "a/../b" << "/x/packages/b";
    QTest::newRow("down and far up") << "/x/packages" << "a/../../../etc/passwd" << "/x/packages/passwd";
    QTest::newRow("parent only") << "/x/packages" << ".." << "/x/packages";
    QTest::newRow("empty") << "/x/packages" << "" << "/x/packages";
    QTest::newRow("unclean base") << "/x/./y/../packages/" << "f" << "/x/packages/f";
    QTest::newRow("root folder") << "/" << "../etc/passwd" << "/passwd";
}

void tst_FileSystemHelper::pathInsideFolder()
{
    QFETCH(QString, sFolder);
    QFETCH(QString, sRelative);
    QFETCH(QString, sExpected);
    QCOMPARE(m_oHelper.pathInsideFolder(QDir(sFolder), sRelative), sExpected);
}

void tst_FileSystemHelper::listing()
{
    QTemporaryDir oDir;
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("one")), "1"));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("three")), "333"));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral(".hidden")), "h"));
    QDir(oDir.path()).mkdir(QStringLiteral("folder"));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("folder/nested")), "n"));

    // Nested folders stay out: the old launcher's files are deleted from this list.
    QMap<QString, qint64> hSeen;
    for (const shared::TLocalFileInfo& oInfo : m_oHelper.listFilesInFolder(QDir(oDir.path())))
        hSeen.insert(oInfo.absoluteFilePath(), oInfo.fileSize());
    const QMap<QString, qint64> hExpected{{oDir.filePath(QStringLiteral("one")), 1},
                                          {oDir.filePath(QStringLiteral("three")), 3}};
    QCOMPARE(hSeen, hExpected);
}

void tst_FileSystemHelper::writeAndReadRoundTrip()
{
    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("data.bin"));
    const QByteArray aData = noiseBytes(1 << 20, 1);
    m_oHelper.writeFile(sPath, aData);
    QCOMPARE(m_oHelper.readFile(sPath), aData);
    m_oHelper.writeFile(sPath, "short");
    QCOMPARE(m_oHelper.readFile(sPath), QByteArray("short"));
    // Replaced through a temporary file that must not stay behind.
    QCOMPARE(QDir(oDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("data.bin")});

    const QString sCopy = oDir.filePath(QStringLiteral("copy"));
    m_oHelper.writeFile(sCopy, "existing");
    m_oHelper.copyFile(sPath, sCopy);
    QCOMPARE(m_oHelper.readFile(sCopy), QByteArray("existing"));

    QVERIFY(m_oHelper.deleteFile(sPath));
    QVERIFY(!m_oHelper.fileExists(sPath));
    QCOMPARE(m_oHelper.readFileIfExists(sPath), QByteArray());
    QVERIFY_EXCEPTION_THROWN(m_oHelper.readFile(sPath), std::runtime_error);
}

QTEST_GUILESS_MAIN(tst_FileSystemHelper)
#include "tst_filesystemhelper.moc"
