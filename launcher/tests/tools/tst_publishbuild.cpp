#include "publishtool.h"
#include "nginxserver.h"

#include "launcher/packageconfigurationreader.h"
#include "shared/packeddata.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

namespace {

struct TExpectedFile
{
    QByteArray aBytes;
    bool bExecutable = false;
};
using TExpectedTree = QMap<QString, TExpectedFile>;

// A client folder with what a real one has: an executable, a library, large files
// with and without boundaries, an empty file, a file name beyond ASCII, the same
// bytes under several names (in the package and in the assets), and symbolic
// links to a file and to a folder inside it. Returns what the launcher must install.
enum class ESize
{
    // Chunked files of 20 MiB and more.
    Large,
    // One file of two chunks.
    Small,
    // Every file one chunk, for the slowest packers.
    Tiny,
};

TExpectedTree makeClient(const QString& sRoot, ESize eSize)
{
    TExpectedTree hFiles;
    const auto add = [&](const QString& sPath, const QByteArray& aBytes, bool bExecutable = false) {
        writeTestFile(sRoot + QLatin1Char('/') + sPath, aBytes, bExecutable);
        hFiles.insert(sPath, {aBytes, bExecutable});
    };
    const QByteArray aReadme = "Corvane Online\nRead me first.\n";
    add(QStringLiteral("bin/client"), "#!/bin/sh\necho running\n", true);
    add(QStringLiteral("bin/libgame.so"), noiseBytes(300000, 7) + QByteArray(200000, 'x'));
    add(QStringLiteral("readme.txt"), aReadme);
    add(QStringLiteral("empty.cfg"), QByteArray());
    add(QString::fromUtf8("Sprachen/Größe – ä.txt"), "groß\n");
    add(QStringLiteral("docs/manual.txt"), "manual\n");
    add(QStringLiteral("assets/sounds/readme-again.txt"), aReadme);
    add(QStringLiteral("assets/textures/stone.tex"), noiseBytes(150000, 9));
    add(QStringLiteral("assets/empty.dat"), QByteArray());
    if (eSize == ESize::Large) {
        add(QStringLiteral("data/zeros.bin"), QByteArray(20 << 20, '\0'));
        add(QStringLiteral("data/level.pak"), noiseBytes(20 << 20, 11));
    } else if (eSize == ESize::Small) {
        add(QStringLiteral("data/level.pak"), QByteArray(5 << 20, 'L') + noiseBytes(1 << 20, 11));
    } else {
        add(QStringLiteral("data/level.pak"), noiseBytes(100000, 11));
    }
    QFile::link(QStringLiteral("client"), sRoot + QStringLiteral("/bin/client-link"));
    hFiles.insert(QStringLiteral("bin/client-link"), hFiles.value(QStringLiteral("bin/client")));
    QFile::link(QStringLiteral("docs"), sRoot + QStringLiteral("/manual"));
    hFiles.insert(QStringLiteral("manual/manual.txt"), hFiles.value(QStringLiteral("docs/manual.txt")));
    QDir().mkpath(sRoot + QStringLiteral("/empty-folder"));
    return hFiles;
}

QStringList buildArguments(const QString& sSource, const QString& sOutput, const QString& sMethod)
{
    return {QStringLiteral("build"),       QStringLiteral("--source"),     sSource,
            QStringLiteral("--out"),       sOutput,                        QStringLiteral("--version"),
            QStringLiteral("2.5"),         QStringLiteral("--executable"), QStringLiteral("bin/client"),
            QStringLiteral("--assets"),    QStringLiteral("assets"),       QStringLiteral("--asset-version"),
            QStringLiteral("A7"),          QStringLiteral("--parameter"),  QStringLiteral("-windowed"),
            QStringLiteral("--parameter"), QStringLiteral("two words"),    QStringLiteral("--method"),
            sMethod,                       QStringLiteral("--jobs"),       QStringLiteral("2")};
}

std::unique_ptr<TPackageConfigurationReader> readBack(const QString& sOutput)
{
    const QUrl oBase = QUrl::fromLocalFile(sOutput + QLatin1Char('/'));
    return std::make_unique<TPackageConfigurationReader>(readTestFile(sOutput + QStringLiteral("/package.json")),
                                                         readTestFile(sOutput + QStringLiteral("/assets.json")), oBase,
                                                         oBase);
}

// What the launcher would download for this chunk, unpacked; null when it is not there.
QByteArray fetchLocal(const TPackageConfigurationReader& oReader, const TChunkDescription& oChunk)
{
    QFile oFile(oReader.url(oChunk).toLocalFile());
    if (!oFile.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray aPacked = oFile.readAll();
    if (oChunk.packedHash() != shared::TSha256::hash(aPacked) || oChunk.packedSize() != quint64(aPacked.size()))
        return QByteArray();
    const QByteArray aBytes = oChunk.unpack() ? shared::unpackStrict(aPacked) : aPacked;
    return aBytes.isNull() ? QByteArray("", 0) : aBytes;
}

QSet<QString> chunkUrls(const TPackageConfigurationReader& oReader)
{
    QSet<QString> lUrls;
    for (const TChunkDescription& oChunk : oReader.chunks())
        lUrls.insert(oReader.url(oChunk).toLocalFile());
    for (const TFileDescription& oFile : oReader.files()) {
        if (oFile.packedForm().hasUrl())
            lUrls.insert(oReader.url(oFile.packedForm()).toLocalFile());
    }
    return lUrls;
}

} // namespace

Q_DECLARE_METATYPE(ESize)

class TPublishBuildTest : public QObject
{
    Q_OBJECT

private slots:
    void publishedClientReadsBack_data();
    void publishedClientReadsBack();
    void secondVersionWritesOnlyNewChunks();
    void sameInputSameBytes();
    void damagedChunkFileIsReplaced();
    void assetDocumentOfEarlierVersionGoes();
    void servedByAnyWebServer();
};

void TPublishBuildTest::publishedClientReadsBack_data()
{
    QTest::addColumn<QString>("sMethod");
    QTest::addColumn<ESize>("eSize");
    QTest::newRow("store, large files") << QStringLiteral("store") << ESize::Large;
    QTest::newRow("deflate") << QStringLiteral("deflate") << ESize::Small;
    QTest::newRow("lzma") << QStringLiteral("lzma") << ESize::Small;
    QTest::newRow("lzip") << QStringLiteral("lzip") << ESize::Small;
    QTest::newRow("zpaq") << QStringLiteral("zpaq") << ESize::Tiny;
    QTest::newRow("crush") << QStringLiteral("crush") << ESize::Small;
}

void TPublishBuildTest::publishedClientReadsBack()
{
    QFETCH(QString, sMethod);
    QFETCH(ESize, eSize);

    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("cdn/live"));
    const TExpectedTree hExpected = makeClient(sSource, eSize);

    const TToolRun oBuild = runPublish(buildArguments(sSource, sOutput, sMethod));
    QVERIFY2(oBuild.nExitCode == 0, qPrintable(oBuild.describe()));
    const TToolRun oCheck = runPublish({QStringLiteral("check"), sOutput});
    QVERIFY2(oCheck.nExitCode == 0, qPrintable(oCheck.describe()));

    const auto pReader = readBack(sOutput);
    QVERIFY(pReader->isValid());
    QCOMPARE(pReader->version(), QStringLiteral("2.5"));
    QCOMPARE(pReader->assetVersion(), QStringLiteral("A7"));
    QCOMPARE(pReader->executable(), QStringLiteral("bin/client"));
    QCOMPARE(pReader->parameters(), QStringList({QStringLiteral("-windowed"), QStringLiteral("two words")}));
    QCOMPARE(pReader->generation(), velmar::launcher::SecondGeneration);
    QCOMPARE(pReader->variant(), velmar::launcher::RegularVariant);

    // Every file comes back byte for byte, from its chunks and from its own packed form.
    QCOMPARE(pReader->files().size(), size_t(hExpected.size()));
    for (const TFileDescription& oFile : pReader->files()) {
        QVERIFY2(hExpected.contains(oFile.localFile()), qPrintable(oFile.localFile()));
        const TExpectedFile& oExpected = hExpected[oFile.localFile()];
        QCOMPARE(oFile.unpackedSize(), quint64(oExpected.aBytes.size()));
        QVERIFY(oFile.unpackedHash() == shared::TSha256::hash(oExpected.aBytes));
        QCOMPARE(oFile.executable(), oExpected.bExecutable);
        QByteArray aBuilt("", 0);
        for (const qint32 nChunk : oFile.chunks()) {
            QVERIFY(nChunk >= 0 && size_t(nChunk) < pReader->chunks().size());
            const TChunkDescription& oChunk = pReader->chunks()[size_t(nChunk)];
            const QByteArray aChunk = fetchLocal(*pReader, oChunk);
            QVERIFY2(!aChunk.isNull() && oChunk.unpackedHash() == shared::TSha256::hash(aChunk), qPrintable(oFile.localFile()));
            aBuilt += aChunk;
        }
        QVERIFY2(aBuilt == oExpected.aBytes, qPrintable(oFile.localFile()));
        // A file the launcher replaces whole comes in one download; a chunked one never does.
        QCOMPARE(oFile.packedForm().hasUrl(), oFile.chunks().size() <= 1);
        if (oFile.packedForm().hasUrl())
            QVERIFY2(fetchLocal(*pReader, oFile.packedForm()) == oExpected.aBytes, qPrintable(oFile.localFile()));
    }
    if (eSize == ESize::Large) {
        const auto oZeros = std::find_if(pReader->files().begin(), pReader->files().end(), [](const TFileDescription& oFile) {
            return oFile.localFile() == QLatin1String("data/zeros.bin");
        });
        QVERIFY(oZeros != pReader->files().end());
        QCOMPARE(oZeros->chunks().size(), size_t(2));
        QCOMPARE(pReader->chunks()[size_t(oZeros->chunks()[0])].unpackedSize(), quint64(16 << 20));
    }

    // Each chunk is listed once across both documents.
    QSet<QByteArray> lHashes;
    for (const TChunkDescription& oChunk : pReader->chunks())
        lHashes.insert(oChunk.unpackedHash().toByteArray());
    QCOMPARE(size_t(lHashes.size()), pReader->chunks().size());

    // The asset document holds exactly the files below the asset folder.
    const QJsonArray lAssetFiles =
        QJsonDocument::fromJson(readTestFile(sOutput + QStringLiteral("/assets.json"))).object().value(QStringLiteral("files")).toArray();
    QCOMPARE(lAssetFiles.size(), 3);
    for (const QJsonValue& oFile : lAssetFiles)
        QVERIFY(oFile.toObject().value(QStringLiteral("localfile")).toString().startsWith(QLatin1String("assets/")));

    // Chunk files are named by content below chunks/, addressed relative to the documents.
    const QRegularExpression oName(QStringLiteral("^chunks/([0-9a-f]{2})/\\1[0-9a-f]{62}\\.%1$").arg(sMethod));
    for (const QString& sPath : chunkUrls(*pReader)) {
        const QString sRelative = QDir(sOutput).relativeFilePath(sPath);
        QVERIFY2(oName.match(sRelative).hasMatch(), qPrintable(sRelative));
    }
    QVERIFY(!readTestFile(sOutput + QStringLiteral("/package.json")).contains("file:"));
}

void TPublishBuildTest::secondVersionWritesOnlyNewChunks()
{
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("cdn"));
    makeClient(sSource, ESize::Large);
    TToolRun oRun = runPublish(buildArguments(sSource, sOutput, QStringLiteral("store")));
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    const QMap<QString, QString> hBefore = treeState(sOutput);
    const QSet<QString> lFirstChunks = chunkUrls(*readBack(sOutput));

    // One byte changed in the middle of a large file, a file added, one removed.
    QByteArray aLevel = readTestFile(sSource + QStringLiteral("/data/level.pak"));
    aLevel[10 << 20] = char(aLevel[10 << 20] ^ 0x5A);
    QVERIFY(writeTestFile(sSource + QStringLiteral("/data/level.pak"), aLevel));
    QVERIFY(writeTestFile(sSource + QStringLiteral("/data/new.bin"), noiseBytes(5000, 99)));
    QVERIFY(QFile::remove(sSource + QStringLiteral("/readme.txt")));
    oRun = runPublish(buildArguments(sSource, sOutput, QStringLiteral("store")));
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));

    const QSet<QString> lSecondChunks = chunkUrls(*readBack(sOutput));
    const QSet<QString> lNew = QSet<QString>(lSecondChunks).subtract(lFirstChunks);
    // The changed chunk of the large file and the new file; the rest is shared.
    QCOMPARE(lNew.size(), 2);
    quint64 nNewBytes = 0;
    for (const QString& sPath : lNew)
        nNewBytes += quint64(QFileInfo(sPath).size());
    QVERIFY2(oRun.sOut.contains(QStringLiteral("New chunk files: 2, %1 bytes").arg(nNewBytes)), qPrintable(oRun.describe()));

    // Every chunk file of the first version is untouched: same bytes, same inode, same time.
    const QMap<QString, QString> hAfter = treeState(sOutput);
    for (auto oEntry = hBefore.constBegin(); oEntry != hBefore.constEnd(); ++oEntry) {
        if (oEntry.key().startsWith(QLatin1String("chunks/")))
            QVERIFY2(hAfter.value(oEntry.key()) == oEntry.value(), qPrintable(oEntry.key()));
    }
    for (auto oEntry = hAfter.constBegin(); oEntry != hAfter.constEnd(); ++oEntry) {
        if (!hBefore.contains(oEntry.key()))
            QVERIFY2(oEntry.value() == QLatin1String("folder") || lNew.contains(QDir(sOutput).filePath(oEntry.key())),
                     qPrintable(oEntry.key()));
    }
    const TToolRun oCheck = runPublish({QStringLiteral("check"), sOutput});
    QVERIFY2(oCheck.nExitCode == 0, qPrintable(oCheck.describe()));
}

void TPublishBuildTest::sameInputSameBytes()
{
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    makeClient(sSource, ESize::Small);
    QStringList lOne = buildArguments(sSource, oDir.filePath(QStringLiteral("one")), QStringLiteral("deflate"));
    QStringList lTwo = buildArguments(sSource, oDir.filePath(QStringLiteral("two")), QStringLiteral("deflate"));
    lTwo.last() = QStringLiteral("5");
    QVERIFY2(runPublish(lOne).nExitCode == 0, "first build");
    QVERIFY2(runPublish(lTwo).nExitCode == 0, "second build");
    for (const QString& sDocument : {QStringLiteral("package.json"), QStringLiteral("assets.json")}) {
        const QByteArray aOne = readTestFile(oDir.filePath(QStringLiteral("one/") + sDocument));
        QVERIFY(!aOne.isEmpty());
        QCOMPARE(readTestFile(oDir.filePath(QStringLiteral("two/") + sDocument)), aOne);
    }
    QCOMPARE(treeState(oDir.filePath(QStringLiteral("two/chunks"))).keys(), treeState(oDir.filePath(QStringLiteral("one/chunks"))).keys());

    // Publishing the same again changes nothing at all.
    const QMap<QString, QString> hBefore = treeState(oDir.filePath(QStringLiteral("one")));
    const TToolRun oAgain = runPublish(lOne);
    QVERIFY2(oAgain.nExitCode == 0 && oAgain.sOut.contains(QStringLiteral("New chunk files: 0, 0 bytes")),
             qPrintable(oAgain.describe()));
    const QMap<QString, QString> hAfter = treeState(oDir.filePath(QStringLiteral("one")));
    QCOMPARE(hAfter.keys(), hBefore.keys());
    for (const QString& sKey : hBefore.keys()) {
        if (sKey.startsWith(QLatin1String("chunks/")))
            QCOMPARE(hAfter.value(sKey), hBefore.value(sKey));
        else
            QCOMPARE(hAfter.value(sKey).section(QLatin1Char(' '), -1), hBefore.value(sKey).section(QLatin1Char(' '), -1));
    }
}

void TPublishBuildTest::damagedChunkFileIsReplaced()
{
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("cdn"));
    makeClient(sSource, ESize::Small);
    QVERIFY(runPublish(buildArguments(sSource, sOutput, QStringLiteral("lzma"))).nExitCode == 0);
    const auto pReader = readBack(sOutput);
    const QString sVictim = pReader->url(pReader->chunks().front()).toLocalFile();
    QFile oVictim(sVictim);
    QVERIFY(oVictim.open(QIODevice::ReadWrite) && oVictim.resize(oVictim.size() / 2));
    oVictim.close();
    QCOMPARE(runPublish({QStringLiteral("check"), sOutput}).nExitCode, 1);

    const TToolRun oRun = runPublish(buildArguments(sSource, sOutput, QStringLiteral("lzma")));
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Replaced 1 damaged chunk files")),
             qPrintable(oRun.describe()));
    const TToolRun oCheck = runPublish({QStringLiteral("check"), sOutput});
    QVERIFY2(oCheck.nExitCode == 0, qPrintable(oCheck.describe()));
}

void TPublishBuildTest::assetDocumentOfEarlierVersionGoes()
{
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("cdn"));
    makeClient(sSource, ESize::Small);
    QVERIFY(runPublish(buildArguments(sSource, sOutput, QStringLiteral("store"))).nExitCode == 0);
    QVERIFY(QFileInfo::exists(sOutput + QStringLiteral("/assets.json")));
    const TToolRun oRun = runPublish({QStringLiteral("build"), QStringLiteral("--source"), sSource, QStringLiteral("--out"),
                                      sOutput, QStringLiteral("--version"), QStringLiteral("3"),
                                      QStringLiteral("--executable"), QStringLiteral("bin/client"),
                                      QStringLiteral("--method"), QStringLiteral("store")});
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    QVERIFY(!QFileInfo::exists(sOutput + QStringLiteral("/assets.json")));
    const auto pReader = readBack(sOutput);
    QCOMPARE(pReader->version(), QStringLiteral("3"));
    QVERIFY(pReader->assetVersion().isEmpty());
    QVERIFY(runPublish({QStringLiteral("check"), sOutput}).nExitCode == 0);
}

void TPublishBuildTest::servedByAnyWebServer()
{
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("www/live"));
    const TExpectedTree hExpected = makeClient(sSource, ESize::Small);
    QVERIFY(runPublish(buildArguments(sSource, sOutput, QStringLiteral("deflate"))).nExitCode == 0);

    TNginxServer oServer;
    QVERIFY2(oServer.start(oDir.filePath(QStringLiteral("www"))), qPrintable(oServer.errorString()));
    QNetworkAccessManager oNetwork;
    const auto fetch = [&oNetwork](const QUrl& oUrl) {
        std::unique_ptr<QNetworkReply> pReply(oNetwork.get(QNetworkRequest(oUrl)));
        QEventLoop oLoop;
        QObject::connect(pReply.get(), &QNetworkReply::finished, &oLoop, &QEventLoop::quit);
        oLoop.exec();
        return pReply->error() == QNetworkReply::NoError ? pReply->readAll() : QByteArray();
    };
    const QUrl oDocument = oServer.url(QStringLiteral("/live/package.json"));
    const QUrl oBase = oDocument.adjusted(QUrl::RemoveFilename);
    const TPackageConfigurationReader oReader(fetch(oDocument), fetch(oServer.url(QStringLiteral("/live/assets.json"))),
                                              oBase, oBase);
    QVERIFY(oReader.isValid());
    const auto oLevel = std::find_if(oReader.files().begin(), oReader.files().end(), [](const TFileDescription& oFile) {
        return oFile.localFile() == QLatin1String("data/level.pak");
    });
    QVERIFY(oLevel != oReader.files().end() && oLevel->chunks().size() >= 1);
    QByteArray aBuilt;
    for (const qint32 nChunk : oLevel->chunks()) {
        const QUrl oUrl = oReader.url(oReader.chunks()[size_t(nChunk)]);
        QVERIFY2(oUrl.toString().startsWith(oBase.toString() + QStringLiteral("chunks/")), qPrintable(oUrl.toString()));
        aBuilt += shared::unpackStrict(fetch(oUrl));
    }
    QVERIFY(aBuilt == hExpected.value(QStringLiteral("data/level.pak")).aBytes);
}

QTEST_GUILESS_MAIN(TPublishBuildTest)
#include "tst_publishbuild.moc"
