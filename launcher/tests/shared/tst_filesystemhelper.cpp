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
    void blobChoice_data();
    void blobChoice();
    void readJson_data();
    void readJson();
    void readMissingFile();
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

void tst_FileSystemHelper::blobChoice_data()
{
    QTest::addColumn<QStringList>("lFilesOnDisk");
    QTest::addColumn<QString>("sRequested");
    QTest::addColumn<QString>("sOpened");
    QTest::addColumn<bool>("bCompressed");

    QTest::newRow("plain") << QStringList{"a.bin"} << "a.bin" << "a.bin" << false;
    QTest::newRow("only .lzma exists") << QStringList{"a.bin.lzma"} << "a.bin" << "a.bin.lzma" << true;
    QTest::newRow("both exist: plain wins") << QStringList{"a.bin", "a.bin.lzma"} << "a.bin" << "a.bin" << false;
    QTest::newRow(".lzma asked directly") << QStringList{"a.lzma"} << "a.lzma" << "a.lzma" << true;
    QTest::newRow("suffix is case-sensitive") << QStringList{"a.LZMA"} << "a.LZMA" << "a.LZMA" << false;
}

void tst_FileSystemHelper::blobChoice()
{
    QFETCH(QStringList, lFilesOnDisk);
    QFETCH(QString, sRequested);
    QFETCH(QString, sOpened);
    QFETCH(bool, bCompressed);

    QTemporaryDir oDir;
    for (const QString& sName : lFilesOnDisk)
        QVERIFY(writeTestFile(oDir.filePath(sName), sName.toUtf8()));

    const auto pBlob = m_oHelper.openReadOnlyMemoryBlob(oDir.filePath(sRequested));
    QCOMPARE(pBlob->filePath(), oDir.filePath(sOpened));
    QCOMPARE(dynamic_cast<shared::TLZMACompressedReadOnlyMemoryBlob*>(pBlob.get()) != nullptr, bCompressed);
    // Not in the packed format: the compressed blob hands the bytes back as they are.
    QCOMPARE(pBlob->data(), sOpened.toUtf8());
}

void tst_FileSystemHelper::readJson_data()
{
    QTest::addColumn<QByteArray>("aContents");
    QTest::addColumn<bool>("bWrite");
    QTest::addColumn<bool>("bError");
    QTest::addColumn<bool>("bEmptyDocument");

    QTest::newRow("missing file") << QByteArray() << false << false << true;
    QTest::newRow("empty file") << QByteArray() << true << false << true;
    QTest::newRow("only an opening brace") << QByteArray("{") << true << true << true;
    QTest::newRow("garbage") << QByteArray("\x00\xff not json", 12) << true << true << true;
    QTest::newRow("object") << QByteArray(R"({"a":1})") << true << false << false;
    QTest::newRow("array") << QByteArray("[1,2]") << true << false << false;
}

void tst_FileSystemHelper::readJson()
{
    QFETCH(QByteArray, aContents);
    QFETCH(bool, bWrite);
    QFETCH(bool, bError);
    QFETCH(bool, bEmptyDocument);

    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("doc.json"));
    if (bWrite)
        QVERIFY(writeTestFile(sPath, aContents));
    bool bReportedError = !bError;
    const QJsonDocument oDocument = m_oHelper.readJsonFileAsQJsonDocument(sPath, bReportedError);
    QCOMPARE(bReportedError, bError);
    QCOMPARE(oDocument.isNull() || oDocument.isEmpty(), bEmptyDocument);
}

void tst_FileSystemHelper::readMissingFile()
{
    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("missing"));
    QCOMPARE(m_oHelper.readFileIfExists(sPath), QByteArray());
    QVERIFY_EXCEPTION_THROWN(m_oHelper.readFile(sPath), std::runtime_error);
}

void tst_FileSystemHelper::listing()
{
    QTemporaryDir oDir;
    QVERIFY(m_oHelper.listFilesInFolder(QDir(oDir.path())).empty());

    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("one")), "1"));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("three")), "333"));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral(".hidden")), "h"));
    QDir(oDir.path()).mkdir(QStringLiteral("folder"));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("folder/nested")), "n"));

    QMap<QString, qint64> hSeen;
    m_oHelper.forEachFileInFolder(QDir(oDir.path()), [&](const shared::TLocalFileInfo& oInfo) {
        hSeen.insert(oInfo.absoluteFilePath(), oInfo.fileSize());
    });
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

    m_oHelper.writeTextFile(sPath, QStringLiteral("line\n"));
    m_oHelper.appendTextFile(sPath, QStringLiteral("more\n"));
    QCOMPARE(m_oHelper.readFile(sPath), QByteArray("line\nmore\n"));

    const QString sCopy = oDir.filePath(QStringLiteral("copy"));
    m_oHelper.writeFile(sCopy, "existing");
    m_oHelper.copyFile(sPath, sCopy);
    QCOMPARE(m_oHelper.readFile(sCopy), QByteArray("existing"));

    QVERIFY(m_oHelper.deleteFile(sPath));
    QVERIFY(!m_oHelper.fileExists(sPath));
    QVERIFY(m_oHelper.folderExists(oDir.path()));
    QVERIFY(!m_oHelper.folderExists(sCopy));
}

QTEST_GUILESS_MAIN(tst_FileSystemHelper)
#include "tst_filesystemhelper.moc"
