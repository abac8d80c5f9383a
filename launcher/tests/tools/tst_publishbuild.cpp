#include "publishedclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TPublishBuildTest : public QObject
{
    Q_OBJECT

private slots:
    void publishedClientReadsBack_data();
    void publishedClientReadsBack();
};

void TPublishBuildTest::publishedClientReadsBack_data()
{
    QTest::addColumn<QString>("sMethod");
    QTest::addColumn<ESize>("eSize");
    // Every other method publishes and installs in the mixed-method install test.
    QTest::newRow("store, large files") << QStringLiteral("store") << ESize::Large;
    QTest::newRow("deflate") << QStringLiteral("deflate") << ESize::Small;
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
    QCOMPARE(unsoundness(sOutput), QString());

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

QTEST_GUILESS_MAIN(TPublishBuildTest)
#include "tst_publishbuild.moc"
