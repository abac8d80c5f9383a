// corvane-publish's commands besides build: exit codes, OUT left as it was on
// failure, what the launcher reads back. The packer's and the chunker's own tests
// cover every method and every boundary.

#include "packedtestdata.h"
#include "publishtool.h"

#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/packagebuild.h"

#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <functional>
#include <memory>

using velmar::launcher::TLauncherConfigurationReader;
using velmar::launcher::TPackage;

namespace {

// Breaks a copy of a sound published folder: its package document (written back
// when changed) or the files in it.
using TEdit = std::function<void(const QString& sFolder, QJsonObject& oPackage)>;

TEdit setField(const char* pFile, const char* pKey, const QJsonValue& oValue)
{
    return [=](const QString&, QJsonObject& oPackage) {
        editListedFile(oPackage, QLatin1String(pFile), [&](QJsonObject& oFile) { oFile.insert(QLatin1String(pKey), oValue); });
    };
}

// The path of the file's first chunk file.
QString chunkPath(const QString& sFolder, QJsonObject& oPackage, const char* pFile)
{
    int nChunk = -1;
    editListedFile(oPackage, QLatin1String(pFile),
                   [&](QJsonObject& oFile) { nChunk = oFile.value(QStringLiteral("chunks")).toArray().first().toInt(); });
    const QJsonObject oChunk = oPackage.value(QStringLiteral("chunks")).toArray().at(nChunk).toObject();
    return sFolder + QLatin1Char('/') + oChunk.value(QStringLiteral("url")).toString();
}

// fnEdit turns the bytes of the file's first chunk file into new ones; null removes it.
TEdit editChunkFile(const char* pFile, const std::function<QByteArray(QByteArray)>& fnEdit)
{
    return [=](const QString& sFolder, QJsonObject& oPackage) {
        const QString sPath = chunkPath(sFolder, oPackage, pFile);
        const QByteArray aBytes = fnEdit(readTestFile(sPath));
        QVERIFY(aBytes.isNull() ? QFile::remove(sPath) : writeTestFile(sPath, aBytes));
    };
}

} // namespace

Q_DECLARE_METATYPE(TEdit)

class TPublishCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void packAndUnpack();
    void chunksInFileOrder();
    void launcherReadsMetadata();
    void wrongCommandLines_data();
    void wrongCommandLines();
    void checkFindsWhatIsWrong_data();
    void checkFindsWhatIsWrong();

private:
    QString path(const char* pName) const { return m_pDir->filePath(QString::fromLatin1(pName)); }
    QTemporaryDir m_oPublished;
    std::unique_ptr<QTemporaryDir> m_pDir;
};

// A sound folder for the check to break; large.bin's two chunks leave it no packed form to be checked in its place.
void TPublishCommandsTest::initTestCase()
{
    QTemporaryDir oSource;
    QVERIFY(writeTestFile(oSource.filePath(QStringLiteral("bin/client")), "client", true));
    QVERIFY(writeTestFile(oSource.filePath(QStringLiteral("small.txt")), "small"));
    QVERIFY(writeTestFile(oSource.filePath(QStringLiteral("large.bin")), noiseBytes(10 << 20, 11)));
    const TToolRun oBuild = runPublish({"build", "--source", oSource.path(), "--out", m_oPublished.path(), "--version", "1",
                                        "--executable", "bin/client", "--method", "deflate"});
    QVERIFY2(oBuild.nExitCode == 0, qPrintable(oBuild.describe()));
}

void TPublishCommandsTest::init()
{
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid() && QDir::setCurrent(m_pDir->path()));
}

// A round trip; then what does not unpack, copied by the lenient form and refused by the strict one.
void TPublishCommandsTest::packAndUnpack()
{
    const QByteArray aInput = textLikeTestBytes(200000, 41) + noiseBytes(50000, 42);
    QVERIFY(writeTestFile(path("in"), aInput));
    CORVANE_VERIFY_EXIT(runPublish({"pack", "--method", "lzip", path("in"), path("packed")}), 0);
    // The header names the method asked for.
    QCOMPARE(readTestFile(path("packed")).left(2), QByteArray("p\x04"));
    CORVANE_VERIFY_EXIT(runPublish({"unpack", path("packed"), path("out")}), 0);
    QCOMPARE(readTestFile(path("out")), aInput);

    const QByteArray aBad = packedTestStream(3, 100, "not deflate at all");
    QVERIFY(writeTestFile(path("bad"), aBad));
    QCOMPARE(runPublish({"unpack", "--lenient", path("bad"), path("bad.out")}).nExitCode, 0);
    QCOMPARE(readTestFile(path("bad.out")), aBad);

    // Failures leave OUT as it was.
    QVERIFY(writeTestFile(path("out"), "previous contents"));
    for (const QStringList& lCommand : {QStringList{"unpack", path("bad")}, QStringList{"unpack", path("missing")},
                                        QStringList{"pack", "--method", "lzma", path("missing")}}) {
        const TToolRun oRun = runPublish(lCommand + QStringList{path("out")});
        QVERIFY2(oRun.nExitCode == 1 && !oRun.sErr.isEmpty(), qPrintable(oRun.describe()));
        QCOMPARE(readTestFile(path("out")), QByteArray("previous contents"));
    }
    // A fresh OUT is not created, and nothing is left behind.
    QCOMPARE(runPublish({"unpack", path("bad"), path("absent")}).nExitCode, 1);
    QCOMPARE(runPublish({"chunks", path("absent")}).nExitCode, 1);
    QCOMPARE(QDir(m_pDir->path()).entryList(QDir::Files | QDir::Hidden), QStringList({"bad", "bad.out", "in", "out", "packed"}));

#if !defined(__SANITIZE_ADDRESS__)
    // A declared size the machine cannot provide is a decoding failure, not an
    // abort: through a shell that limits the address space first.
    QVERIFY(writeTestFile(path("huge"), packedTestStream(3, INT_MAX - 100, "\x03\x00", 2)));
    QProcess oShell;
    oShell.start(QStringLiteral("sh"), {"-c", "ulimit -v 1000000 && exec \"$0\" unpack \"$1\" \"$2\"",
                                        builtExecutable(QStringLiteral("corvane-publish")), path("huge"), path("out")});
    QVERIFY(oShell.waitForFinished(120000) && oShell.exitStatus() == QProcess::NormalExit);
    QCOMPARE(oShell.exitCode(), 1);
    QCOMPARE(readTestFile(path("out")), QByteArray("previous contents"));
#endif
}

// One line per chunk, in file order: offset, length and hash of the bytes there;
// 16 MiB at most where no boundary comes.
void TPublishCommandsTest::chunksInFileOrder()
{
    const QByteArray aContent = noiseBytes(8 << 20, 5) + QByteArray(20 << 20, '\0');
    QVERIFY(writeTestFile(path("file.bin"), aContent));
    const TToolRun oRun = runPublish({"chunks", path("file.bin")});
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    const QStringList lLines = oRun.sOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lLines.size() >= 3, qPrintable(oRun.sOut));
    int nOffset = 0, nLongest = 0;
    for (const QString& sLine : lLines) {
        const QStringList lFields = sLine.split(QLatin1Char(' '));
        const int nLength = lFields.value(1).toInt();
        QCOMPARE(lFields[0].toInt(), nOffset);
        QCOMPARE(lFields[2], QString::fromLatin1(shared::TSha256::hash(aContent.mid(nOffset, nLength)).toHex()));
        nOffset += nLength;
        nLongest = qMax(nLongest, nLength);
    }
    QCOMPARE(nOffset, aContent.size());
    QCOMPARE(nLongest, 16 << 20);
}

void TPublishCommandsTest::launcherReadsMetadata()
{
    const QString sOutput = path("launchermetadata.json");
    const QString sAwkwardName = QString::fromUtf8("Corvane \"Beta\" – Ωmega\\");
    const auto split = [](const char* pArguments) { return QString::fromLatin1(pArguments).split(QLatin1Char(' ')); };
    const QStringList lArguments =
        split("metadata --launcher-url self/package.json --launcher-name Launcher --launcher-directory launcher "
              "--package Live --directory live --url live/package.json --assets-url live/assets.json "
              "--install-automatically --logo-link https://corvane.example.invalid/")
        + QStringList{QStringLiteral("--out"), sOutput, QStringLiteral("--package=") + sAwkwardName}
        + split("--directory=beta --url https://other.example.invalid/beta/package.json "
                "--hints https://news.example.invalid/hints.json --hardwaresurvey https://stats.example.invalid/survey "
                "--show-package-names --prevent-default-autostart");
    const TToolRun oRun = runPublish(lArguments);
    // The documents named do not exist next to it: the tool says so.
    QVERIFY2(oRun.nExitCode == 0 && oRun.sErr.contains(QStringLiteral("live/package.json")), qPrintable(oRun.describe()));

    const QByteArray aDocument = readTestFile(sOutput);
    const QString sCdn = QStringLiteral("https://cdn.example.invalid/launcher/");
    const TLauncherConfigurationReader oReader(aDocument, QUrl(sCdn));
    QVERIFY(oReader.launcherPackage() && oReader.launcherPackage()->platformBuild() && oReader.packages().size() == 2);
    const TPackage& oLauncher = *oReader.launcherPackage();
    const TPackage& oLive = *oReader.packages()[0];
    const TPackage& oBeta = *oReader.packages()[1];
    QVERIFY(oLive.platformBuild() && oBeta.platformBuild());
    QCOMPARE(QStringList({oLauncher.name(), oLauncher.directoryName(), oBeta.name()}),
             QStringList({"Launcher", "launcher", sAwkwardName}));
    QCOMPARE(QList<QUrl>({oLauncher.platformBuild()->packageConfigurationUrl(), oLive.logoLinkTarget(),
                          oLive.platformBuild()->assetConfigurationUrl(), oBeta.platformBuild()->packageConfigurationUrl(),
                          oReader.hintsUrl(), oReader.hardwareSurveyUrl()}),
             QList<QUrl>({QUrl(sCdn + "self/package.json"), QUrl("https://corvane.example.invalid/"),
                          QUrl(sCdn + "live/assets.json"), QUrl("https://other.example.invalid/beta/package.json"),
                          QUrl("https://news.example.invalid/hints.json"), QUrl("https://stats.example.invalid/survey")}));
    QVERIFY(oLive.installAutomatically() && !oBeta.installAutomatically());
    QVERIFY(oReader.showPackageNames() && oReader.preventDefaultAutostart());

    // The same options give the same bytes.
    QVERIFY(runPublish(lArguments).nExitCode == 0);
    QCOMPARE(readTestFile(sOutput), aDocument);
}

void TPublishCommandsTest::wrongCommandLines_data()
{
    QTest::addColumn<QString>("sArguments");
    QTest::newRow("no command") << QString();
    QTest::newRow("unknown command") << QStringLiteral("shrink a b");
    QTest::newRow("pack without method") << QStringLiteral("pack a b");
    QTest::newRow("unpack, unknown option") << QStringLiteral("unpack --strict a b");
    QTest::newRow("metadata without output") << QStringLiteral("metadata --package P --directory p --url p/package.json");
    QTest::newRow("metadata without url") << QStringLiteral("metadata --out meta.json --package P --directory p");
    QTest::newRow("folder path") << QStringLiteral("metadata --out meta.json --package P --directory ../p --url x");
    QTest::newRow("same folder twice")
        << QStringLiteral("metadata --out meta.json --package P --directory p --url x --package Q --directory p --url y");
    QTest::newRow("relative hints") << QStringLiteral("metadata --out meta.json --hints hints.json");
}

void TPublishCommandsTest::wrongCommandLines()
{
    QFETCH(QString, sArguments);
    const TToolRun oRun = runPublish(sArguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    QVERIFY2(oRun.nExitCode == 2 && !oRun.sErr.isEmpty(), qPrintable(oRun.describe()));
    QVERIFY(QDir(m_pDir->path()).isEmpty());
}

void TPublishCommandsTest::checkFindsWhatIsWrong_data()
{
    QTest::addColumn<TEdit>("fnEdit");
    QTest::newRow("sound") << TEdit([](const QString&, QJsonObject&) {});
    QTest::newRow("chunk file missing") << editChunkFile("large.bin", [](QByteArray) { return QByteArray(); });
    QTest::newRow("chunk file changed") << editChunkFile("small.txt", [](QByteArray aBytes) {
        aBytes[aBytes.size() - 1] = char(aBytes[aBytes.size() - 1] ^ 1);
        return aBytes;
    });
    QTest::newRow("wrong packed size") << TEdit([](const QString&, QJsonObject& oPackage) {
        QJsonArray lChunks = oPackage.value(QStringLiteral("chunks")).toArray();
        QJsonObject oChunk = lChunks[0].toObject();
        oChunk.insert(QStringLiteral("packedsize"), oChunk.value(QStringLiteral("packedsize")).toInt() + 1);
        lChunks[0] = oChunk;
        oPackage.insert(QStringLiteral("chunks"), lChunks);
    });
    QTest::newRow("wrong file hash") << setField("large.bin", "unpackedhash", QString(64, QLatin1Char('0')));
    QTest::newRow("wrong file size") << setField("large.bin", "unpackedsize", 5);
    QTest::newRow("chunk index beyond the list") << setField("large.bin", "chunks", QJsonArray{0, 99});
    // The right bytes in the wrong place: a copy outside the folder, addressed
    // directly or through a symbolic link in the folder.
    for (const bool bLink : {false, true}) {
        const char* pName = bLink ? "link out of the folder" : "address out of the folder";
        QTest::newRow(pName) << TEdit([=](const QString& sCdn, QJsonObject& oPackage) {
            const QString sChunk = chunkPath(sCdn, oPackage, "small.txt");
            QVERIFY(QFile::copy(sChunk, sCdn + QStringLiteral("/../outside")));
            if (bLink)
                QVERIFY(QFile::remove(sChunk) && QFile::link(sCdn + QStringLiteral("/../outside"), sChunk));
            else
                setField("small.txt", "url", QStringLiteral("../outside"))(sCdn, oPackage);
        });
    }
    QTest::newRow("a path that leaves") << setField("small.txt", "localfile", QStringLiteral("../small.txt"));
    QTest::newRow("executable not among the files") << setField("bin/client", "localfile", QStringLiteral("bin/other"));
    QTest::newRow("a file twice") << TEdit([](const QString&, QJsonObject& oPackage) {
        QJsonArray lFiles = oPackage.value(QStringLiteral("files")).toArray();
        lFiles.append(lFiles.first());
        oPackage.insert(QStringLiteral("files"), lFiles);
    });
    QTest::newRow("not JSON") << TEdit([](const QString& sCdn, QJsonObject&) { writeTestFile(sCdn + "/package.json", "{"); });
    QTest::newRow("no document") << TEdit([](const QString& sCdn, QJsonObject&) { QFile::remove(sCdn + "/package.json"); });
}

void TPublishCommandsTest::checkFindsWhatIsWrong()
{
    QFETCH(TEdit, fnEdit);
    const QString sOutput = path("cdn");
    QCOMPARE(QProcess::execute(QStringLiteral("cp"), {"-a", m_oPublished.path(), sOutput}), 0);
    const QString sDocument = sOutput + QStringLiteral("/package.json");
    const QJsonObject oOriginal = readJson(sDocument);
    QJsonObject oPackage = oOriginal;
    fnEdit(sOutput, oPackage);
    if (oPackage != oOriginal)
        QVERIFY(writeJson(sDocument, oPackage));

    const TToolRun oCheck = runPublish({"check", sOutput, "--jobs", "3"});
    if (QByteArray(QTest::currentDataTag()) == "sound")
        QVERIFY2(oCheck.nExitCode == 0 && oCheck.sOut.contains(QStringLiteral("3 files")), qPrintable(oCheck.describe()));
    else
        QVERIFY2(oCheck.nExitCode == 1 && !oCheck.sErr.isEmpty(), qPrintable(oCheck.describe()));
}

QTEST_GUILESS_MAIN(TPublishCommandsTest)
#include "tst_publishcommands.moc"
