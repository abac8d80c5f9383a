#include "testfiles.h"

#include "launcher/launcherfilesystemhelper.h"

#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using velmar::launcher::TLauncherFilesystemHelper;

namespace {

// A launcher folder whose settings file holds aIni (none when null).
struct TSettingsFolder
{
    explicit TSettingsFolder(const QByteArray& aIni)
    {
        if (!aIni.isNull())
            writeTestFile(m_oDir.filePath(QStringLiteral("launchersettings.ini")), aIni);
        m_pHelper = std::make_unique<TLauncherFilesystemHelper>(m_oDir.path());
    }
    const velmar::launcher::TLauncherSettings& settings() const { return *m_pHelper->settings(); }

    QTemporaryDir m_oDir;
    std::unique_ptr<TLauncherFilesystemHelper> m_pHelper;
};

} // namespace

class tst_LauncherSettings : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data();
    void conversions();
    void packagesFolderStaysInside_data();
    void packagesFolderStaysInside();
    void accountGroup_data();
    void accountGroup();
};

void tst_LauncherSettings::conversions_data()
{
    QTest::addColumn<QByteArray>("aIni");
    QTest::addColumn<bool>("bFastScan");
    QTest::addColumn<bool>("bChunkVerification");
    QTest::addColumn<qint64>("nDownloadErrorTimeout");
    QTest::addColumn<int>("nMaxCachedChunks");

    QTest::newRow("empty is false, anything else true")
        << QByteArray("[OPTIONS]\nfastScan=\n[DEBUG]\nchunkVerification=yes please\n") << false << true << qint64(0) << 100;
    QTest::newRow("malformed number is 0")
        << QByteArray("[TIMING]\ndownloadErrorTimeout=ten\n[OPTIONS]\nmaxCachedChunks=12abc\n") << true << false
        << qint64(0) << 0;
    // Nothing is inherited from the built-in file (its timeout is not 0), and a key counts only in its own section.
    QTest::newRow("keys in other sections") << QByteArray("[URLS]\nmaxCachedChunks=3\n[TIMING]\nfastScan=false\n") << true
                                            << false << qint64(0) << 100;
    QTest::newRow("not an ini file at all") << QByteArray("\x01\x02garbage\n=\n[[") << true << false << qint64(0) << 100;
    // Read as a QSettings value, this asked for a list of billions of entries.
    QTest::newRow("binary Qt value") << readTestFile(QStringLiteral(
        CORVANE_SOURCE_DIR "/launcher/tests/launcher/data/fuzzfound/launchersettings-variant-huge-list.ini"))
                                     << true << false << qint64(0) << 100;
}

void tst_LauncherSettings::conversions()
{
    QFETCH(QByteArray, aIni);
    QVERIFY(!aIni.isEmpty());
    const TSettingsFolder oFolder(aIni);
    QTEST(oFolder.settings().fastScan(), "bFastScan");
    QTEST(oFolder.settings().chunkVerification(), "bChunkVerification");
    QTEST(oFolder.settings().downloadErrorTimeout(), "nDownloadErrorTimeout");
    QTEST(oFolder.settings().maxCachedChunks(), "nMaxCachedChunks");
}

void tst_LauncherSettings::packagesFolderStaysInside_data()
{
    QTest::addColumn<QString>("sPackages");
    QTest::addColumn<QString>("sExpected");
    QTest::newRow("nested") << "data/packages" << "data/packages";
    QTest::newRow("climbs out") << "../../elsewhere" << "elsewhere";
    QTest::newRow("absolute") << "/tmp/outside" << "tmp/outside";
}

void tst_LauncherSettings::packagesFolderStaysInside()
{
    QFETCH(QString, sPackages);
    QFETCH(QString, sExpected);
    const TSettingsFolder oFolder("[DIRECTORIES]\npackages=" + sPackages.toUtf8() + "\n");
    const QDir oPackages = oFolder.m_pHelper->packagesFolder();
    QCOMPARE(oPackages.absolutePath(), QDir(oFolder.m_oDir.path()).absoluteFilePath(sExpected));
    QVERIFY(oPackages.exists());
}

void tst_LauncherSettings::accountGroup_data()
{
    QTest::addColumn<bool>("bWrite");
    QTest::addColumn<QByteArray>("aContents");
    QTest::addColumn<QStringList>("lKeys");

    QTest::newRow("missing file") << false << QByteArray() << QStringList{"blub"};
    QTest::newRow("object") << true << QByteArray(R"({"Key":"group-7"})") << QStringList{"Key"};
    QTest::newRow("not json") << true << QByteArray("{oops") << QStringList();
    QTest::newRow("array") << true << QByteArray("[1]") << QStringList();
}

void tst_LauncherSettings::accountGroup()
{
    QFETCH(bool, bWrite);
    QFETCH(QByteArray, aContents);

    // Without a settings file, the built-in one names the file and where it goes.
    const TSettingsFolder oFolder{QByteArray()};
    QCOMPARE(oFolder.m_pHelper->accountGroupTargetPath(),
             QStringLiteral("CorvaneOnlineClient_Data/Data/Settings/accountgroup.json"));
    if (bWrite)
        QVERIFY(writeTestFile(oFolder.m_oDir.filePath(QStringLiteral("accountgroup.json")), aContents));
    QCOMPARE(oFolder.m_pHelper->accountGroupFilePresent(), bWrite);
    QTEST(oFolder.m_pHelper->readAccountGroup().keys(), "lKeys");
}

QTEST_GUILESS_MAIN(tst_LauncherSettings)
#include "tst_launchersettings.moc"
