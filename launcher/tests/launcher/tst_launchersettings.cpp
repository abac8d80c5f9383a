#include "launcher/launcherfilesystemhelper.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using velmar::launcher::TLauncherFilesystemHelper;

namespace {

void writeText(const QString& sPath, const QByteArray& aText)
{
    QFile oFile(sPath);
    QVERIFY2(oFile.open(QIODevice::WriteOnly), qPrintable(oFile.errorString()));
    oFile.write(aText);
}

} // namespace

class tst_LauncherSettings : public QObject
{
    Q_OBJECT

private slots:
    void embeddedDefaults();
    void wholeFileOverride();
    void conversions_data();
    void conversions();
    void keyInWrongSectionIsIgnored();
    void binaryQtValuesAreText();
    void packagesFolderStaysInside_data();
    void packagesFolderStaysInside();
    void accountGroup_data();
    void accountGroup();
};

// The built-in file is read at all (stored uncompressed, as QSettings needs it),
// and the account group target is joined from two of its values.
void tst_LauncherSettings::embeddedDefaults()
{
    QTemporaryDir oDir;
    TLauncherFilesystemHelper oHelper(oDir.path());
    QCOMPARE(QResource(QStringLiteral(":/settings/launchersettings.ini")).compressionAlgorithm(), QResource::NoCompression);
    QCOMPARE(oHelper.settings()->launcherConfiguration().scheme(), QStringLiteral("https"));
    QCOMPARE(oHelper.accountGroupTargetPath(),
             QStringLiteral("CorvaneOnlineClient_Data/Data/Settings/accountgroup.json"));
}

void tst_LauncherSettings::wholeFileOverride()
{
    QTemporaryDir oDir;
    writeText(oDir.filePath(QStringLiteral("launchersettings.ini")), "[OPTIONS]\nmaxConcurrentDownloads=4\n");
    TLauncherFilesystemHelper oHelper(oDir.path());
    const auto& pSettings = oHelper.settings();
    QCOMPARE(pSettings->maxConcurrentDownloads(), 4);
    // Nothing is inherited from the embedded file.
    QVERIFY(pSettings->launcherConfiguration().isEmpty());
    QCOMPARE(pSettings->packageFile(), QString());
}

void tst_LauncherSettings::conversions_data()
{
    QTest::addColumn<QByteArray>("aIni");
    QTest::addColumn<bool>("bFastScan");
    QTest::addColumn<bool>("bChunkVerification");
    QTest::addColumn<qint64>("nDownloadErrorTimeout");
    QTest::addColumn<int>("nMaxCachedChunks");

    QTest::newRow("false text") << QByteArray("[OPTIONS]\nfastScan=false\n") << false << false << qint64(0) << 100;
    QTest::newRow("zero") << QByteArray("[OPTIONS]\nfastScan=0\n[DEBUG]\nchunkVerification=1\n") << false << true
                          << qint64(0) << 100;
    QTest::newRow("empty is false") << QByteArray("[OPTIONS]\nfastScan=\n") << false << false << qint64(0) << 100;
    QTest::newRow("anything else is true") << QByteArray("[DEBUG]\nchunkVerification=yes please\n") << true << true
                                           << qint64(0) << 100;
    QTest::newRow("malformed number is 0")
        << QByteArray("[TIMING]\ndownloadErrorTimeout=ten\n[OPTIONS]\nmaxCachedChunks=12abc\n") << true << false
        << qint64(0) << 0;
    QTest::newRow("numbers") << QByteArray("[TIMING]\ndownloadErrorTimeout=2500\n[OPTIONS]\nmaxCachedChunks=7\n")
                             << true << false << qint64(2500) << 7;
    QTest::newRow("not an ini file at all") << QByteArray("\x01\x02garbage\n=\n[[") << true << false << qint64(0) << 100;
}

void tst_LauncherSettings::conversions()
{
    QFETCH(QByteArray, aIni);
    QFETCH(bool, bFastScan);
    QFETCH(bool, bChunkVerification);
    QFETCH(qint64, nDownloadErrorTimeout);
    QFETCH(int, nMaxCachedChunks);

    QTemporaryDir oDir;
    writeText(oDir.filePath(QStringLiteral("launchersettings.ini")), aIni);
    TLauncherFilesystemHelper oHelper(oDir.path());
    QCOMPARE(oHelper.settings()->fastScan(), bFastScan);
    QCOMPARE(oHelper.settings()->chunkVerification(), bChunkVerification);
    QCOMPARE(oHelper.settings()->downloadErrorTimeout(), nDownloadErrorTimeout);
    QCOMPARE(oHelper.settings()->maxCachedChunks(), nMaxCachedChunks);
}

void tst_LauncherSettings::keyInWrongSectionIsIgnored()
{
    QTemporaryDir oDir;
    writeText(oDir.filePath(QStringLiteral("launchersettings.ini")),
              "[URLS]\nmaxConcurrentDownloads=3\npackages=wrong\n[TIMING]\nlauncherConfiguration=http://127.0.0.1/x\n"
              "[FILES]\npackageFile=p.json\n");
    TLauncherFilesystemHelper oHelper(oDir.path());
    QCOMPARE(oHelper.settings()->maxConcurrentDownloads(), 10);
    QCOMPARE(oHelper.settings()->packages(), QString());
    QVERIFY(oHelper.settings()->launcherConfiguration().isEmpty());
    QCOMPARE(oHelper.settings()->packageFile(), QStringLiteral("p.json"));
}

void tst_LauncherSettings::binaryQtValuesAreText()
{
    // Read as a QSettings value, this asked for a list of billions of entries.
    QTemporaryDir oDir;
    QVERIFY(QFile::copy(QStringLiteral(CORVANE_SOURCE_DIR
                                       "/launcher/tests/launcher/data/fuzzfound/launchersettings-variant-huge-list.ini"),
                        oDir.filePath(QStringLiteral("launchersettings.ini"))));
    TLauncherFilesystemHelper oHelper(oDir.path());
    QCOMPARE(oHelper.settings()->maxConcurrentDownloads(), 10);
}

void tst_LauncherSettings::packagesFolderStaysInside_data()
{
    QTest::addColumn<QString>("sPackages");
    QTest::addColumn<QString>("sExpected");
    QTest::newRow("plain") << "packages" << "packages";
    QTest::newRow("nested") << "data/packages" << "data/packages";
    QTest::newRow("climbs out") << "../../elsewhere" << "elsewhere";
    QTest::newRow("absolute") << "/tmp/outside" << "tmp/outside";
}

void tst_LauncherSettings::packagesFolderStaysInside()
{
    QFETCH(QString, sPackages);
    QFETCH(QString, sExpected);
    QTemporaryDir oDir;
    writeText(oDir.filePath(QStringLiteral("launchersettings.ini")),
              "[DIRECTORIES]\npackages=" + sPackages.toUtf8() + "\n");
    TLauncherFilesystemHelper oHelper(oDir.path());
    const QDir oFolder = oHelper.packagesFolder();
    QCOMPARE(oFolder.absolutePath(), QDir(oDir.path()).absoluteFilePath(sExpected));
    QVERIFY(oFolder.exists());
}

void tst_LauncherSettings::accountGroup_data()
{
    QTest::addColumn<bool>("bWrite");
    QTest::addColumn<QByteArray>("aContents");
    QTest::addColumn<QString>("sWarning");
    QTest::addColumn<QStringList>("lKeys");

    QTest::newRow("missing file") << false << QByteArray() << QString() << QStringList{"blub"};
    QTest::newRow("object") << true << QByteArray(R"({"Key":"group-7"})") << QString() << QStringList{"Key"};
    QTest::newRow("not json") << true << QByteArray("{oops") << "JSON parse error:" << QStringList();
    QTest::newRow("array") << true << QByteArray("[1]") << "JSON file does not contain a valid JSON object."
                           << QStringList();
}

void tst_LauncherSettings::accountGroup()
{
    QFETCH(bool, bWrite);
    QFETCH(QByteArray, aContents);
    QFETCH(QString, sWarning);
    QFETCH(QStringList, lKeys);

    QTemporaryDir oDir;
    if (bWrite)
        writeText(oDir.filePath(QStringLiteral("accountgroup.json")), aContents);
    TLauncherFilesystemHelper oHelper(oDir.path());
    QCOMPARE(oHelper.accountGroupFilePresent(), bWrite);
    if (!sWarning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(sWarning)));
    QCOMPARE(oHelper.readAccountGroup().keys(), lKeys);
}

QTEST_GUILESS_MAIN(tst_LauncherSettings)
#include "tst_launchersettings.moc"
