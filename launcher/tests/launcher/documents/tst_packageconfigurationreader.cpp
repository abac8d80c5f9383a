#include "launcher/documents/packageconfigurationreader.h"

#include "shared/sha256.h"

#include <QtTest>

using namespace velmar::launcher;

namespace {

const QUrl kPackageBase(QStringLiteral("https://cdn.invalid/live/p/"));
const QUrl kAssetBase(QStringLiteral("https://cdn.invalid/live/a/"));
const QString kHashLower = QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");

std::unique_ptr<TPackageConfigurationReader> read(const QByteArray& aPackage, const QByteArray& aAssets = QByteArray())
{
    return std::make_unique<TPackageConfigurationReader>(aPackage, aAssets, kPackageBase, kAssetBase);
}

// A package document with one chunk whose members are given as JSON text.
std::unique_ptr<TPackageConfigurationReader> readChunk(const QByteArray& aMembers)
{
    return read(R"({"chunks":[{)" + aMembers + "}]}");
}

} // namespace

class tst_PackageConfigurationReader : public QObject
{
    Q_OBJECT

private slots:
    void readsBothDocuments();
    void unparsableDocumentsMakeItInvalid_data();
    void unparsableDocumentsMakeItInvalid();
    void sizes_data();
    void sizes();
    void hashes_data();
    void hashes();
    void versions_data();
    void versions();
    void chunkAddresses_data();
    void chunkAddresses();
    void hostileShapesGiveDefaults();
    void duplicateKeysKeepTheLast();
};

void tst_PackageConfigurationReader::readsBothDocuments()
{
    const auto pReader = read(R"({
        "version": "17", "executable": "Client/Corvane.x86_64", "generation": "second", "variant": "preview",
        "parameters": ["-windowed", "--lang=en"],
        "chunks": [{"url": "c/0", "packedsize": 10}, {"url": "c/1", "packedsize": 11, "unpack": false}],
        "files": [
            {"localfile": "b.dat", "chunks": [1, 0], "executable": true, "url": "f/b", "unpackedsize": 21,
             "unpackedhash": ")" + kHashLower.toUtf8() + R"("},
            {"localfile": "Z.dat", "chunks": [], "patches": [{"url": "patch/z", "fromversion": 3, "toversion": 4, "size": 99},
                                                              {"fromversion": "3"}]}
        ]})",
                              R"({"version": 5, "chunks": [{"url": "ac/0", "packedsize": 12}],
                                  "files": [{"localfile": "a.dat", "chunks": [2]}, {"localfile": "c.dat", "chunks": [2, 0]}]})");
    QVERIFY(pReader->isValid());
    QCOMPARE(pReader->version(), QStringLiteral("17"));
    QCOMPARE(pReader->assetVersion(), QStringLiteral("5"));
    QCOMPARE(pReader->executable(), QStringLiteral("Client/Corvane.x86_64"));
    QCOMPARE(pReader->generation(), SecondGeneration);
    QCOMPARE(pReader->variant(), PreviewVariant);
    QCOMPARE(pReader->parameters(), QStringList({QStringLiteral("-windowed"), QStringLiteral("--lang=en")}));

    // Package chunks first, then asset chunks, each resolved against its own document.
    QCOMPARE(pReader->chunks().size(), size_t(3));
    QCOMPARE(pReader->chunks()[1].packedSize(), shared::TFileSize(11));
    QVERIFY(pReader->chunks()[0].unpack() && !pReader->chunks()[1].unpack());
    QCOMPARE(pReader->url(pReader->chunks()[0]), QUrl(QStringLiteral("https://cdn.invalid/live/p/c/0")));
    QCOMPARE(pReader->url(pReader->chunks()[2]), QUrl(QStringLiteral("https://cdn.invalid/live/a/ac/0")));

    // Both documents' files interleave in text order; capitals sort first.
    QStringList lNames;
    for (const TFileDescription& oFile : pReader->files())
        lNames << oFile.localFile();
    QCOMPARE(lNames, QStringList({QStringLiteral("Z.dat"), QStringLiteral("a.dat"), QStringLiteral("b.dat"),
                                  QStringLiteral("c.dat")}));
    const TFileDescription& oB = pReader->files()[2];
    QCOMPARE(oB.chunks(), std::vector<qint32>({1, 0}));
    QVERIFY(oB.executable());
    QCOMPARE(oB.unpackedSize(), shared::TFileSize(21));
    QCOMPARE(oB.unpackedHash(), shared::TSha256::hash(QByteArray("test")));
    QCOMPARE(pReader->url(oB.packedForm()), QUrl(QStringLiteral("https://cdn.invalid/live/p/f/b")));
    QCOMPARE(pReader->files()[3].chunks(), std::vector<qint32>({2, 0}));
    QVERIFY(!pReader->files()[1].packedForm().hasUrl() && pReader->url(pReader->files()[1].packedForm()).isEmpty());

    // A patch's version given as text is no version.
    const std::vector<TPatchDescription>& lPatches = pReader->files()[0].patches();
    QCOMPARE(lPatches.size(), size_t(2));
    QCOMPARE(lPatches[0].url(), QUrl(QStringLiteral("https://cdn.invalid/live/p/patch/z")));
    QCOMPARE(QList<int>({lPatches[0].fromVersion(), lPatches[0].toVersion(), lPatches[0].size(), lPatches[1].fromVersion()}),
             QList<int>({3, 4, 99, 0}));
    QCOMPARE(lPatches[1].url(), kPackageBase);
}

void tst_PackageConfigurationReader::unparsableDocumentsMakeItInvalid_data()
{
    QTest::addColumn<QByteArray>("aPackage");
    QTest::addColumn<QByteArray>("aAssets");
    QTest::newRow("empty package") << QByteArray() << QByteArray("{}");
    QTest::newRow("truncated package") << QByteArray(R"({"chunks":[{"url":"a")") << QByteArray();
    QTest::newRow("nested too deep") << QByteArray(200000, '[') + QByteArray(200000, ']') << QByteArray();
    QTest::newRow("garbage asset") << QByteArray("{}") << QByteArray("\xff\xfe{");
    QTest::newRow("scalar asset") << QByteArray(R"({"version":"1","chunks":[{}]})") << QByteArray("12");
    QTest::newRow("lone surrogate") << QByteArray(R"({"version":"\ud800"})") << QByteArray();
}

void tst_PackageConfigurationReader::unparsableDocumentsMakeItInvalid()
{
    QFETCH(QByteArray, aPackage);
    QFETCH(QByteArray, aAssets);
    const auto pReader = read(aPackage, aAssets);
    QVERIFY(!pReader->isValid());
    QVERIFY(pReader->version().isEmpty() && pReader->chunks().empty());
}

void tst_PackageConfigurationReader::sizes_data()
{
    QTest::addColumn<QByteArray>("aValue");
    QTest::addColumn<quint64>("nExpected");
    QTest::newRow("decimal text") << QByteArray("\"1234\"") << quint64(1234);
    QTest::newRow("exponent") << QByteArray("1e3") << quint64(1000);
    QTest::newRow("beyond double precision") << QByteArray("9007199254740993") << quint64(9007199254740993ull);
    QTest::newRow("largest as text") << QByteArray("\"18446744073709551615\"") << quint64(18446744073709551615ull);
    QTest::newRow("overflowing text") << QByteArray("\"18446744073709551616\"") << quint64(0);
    QTest::newRow("overflowing number") << QByteArray("1e30") << quint64(0);
    QTest::newRow("whole number beyond 64 bits") << QByteArray("18446744073709551617") << quint64(0);
    QTest::newRow("2^63") << QByteArray("9223372036854775808") << quint64(9223372036854775808ull);
    QTest::newRow("negative") << QByteArray("-5") << quint64(0);
    QTest::newRow("fraction") << QByteArray("1.5") << quint64(0);
    QTest::newRow("hex text") << QByteArray("\"0x10\"") << quint64(0);
    QTest::newRow("bool") << QByteArray("true") << quint64(0);
}

void tst_PackageConfigurationReader::sizes()
{
    QFETCH(QByteArray, aValue);
    QFETCH(quint64, nExpected);
    const auto pReader = readChunk("\"packedsize\":" + aValue + ",\"unpackedsize\":" + aValue);
    QCOMPARE(pReader->chunks().size(), size_t(1));
    QCOMPARE(pReader->chunks()[0].packedSize(), nExpected);
    QCOMPARE(pReader->chunks()[0].unpackedSize(), nExpected);
}

void tst_PackageConfigurationReader::hashes_data()
{
    QTest::addColumn<QByteArray>("aValue");
    QTest::addColumn<bool>("bPresent");
    QTest::newRow("lower case") << ('"' + kHashLower.toUtf8() + '"') << true;
    QTest::newRow("upper case") << ('"' + kHashLower.toUpper().toUtf8() + '"') << true;
    QTest::newRow("too short") << ('"' + kHashLower.left(62).toUtf8() + '"') << false;
    QTest::newRow("too long") << ('"' + kHashLower.toUtf8() + "00\"") << false;
    QTest::newRow("not hexadecimal") << ('"' + kHashLower.left(63).toUtf8() + "g\"") << false;
    // U+0130: its low byte is the digit '0'.
    QTest::newRow("wide character") << ('"' + kHashLower.left(63).toUtf8() + "\\u0130\"") << false;
    QTest::newRow("number") << QByteArray("12") << false;
}

void tst_PackageConfigurationReader::hashes()
{
    QFETCH(QByteArray, aValue);
    QFETCH(bool, bPresent);
    const auto pReader = readChunk("\"packedhash\":" + aValue + ",\"unpackedhash\":" + aValue);
    const TChunkDescription& oChunk = pReader->chunks()[0];
    QCOMPARE(!oChunk.packedHash().isEmpty(), bPresent);
    QCOMPARE(oChunk.packedHash() == shared::TSha256::hash(QByteArray("test")), bPresent);
    QCOMPARE(oChunk.unpackedHash(), oChunk.packedHash());
}

void tst_PackageConfigurationReader::versions_data()
{
    QTest::addColumn<QByteArray>("aPackage");
    QTest::addColumn<QByteArray>("aAssets"); // null: no asset document
    QTest::addColumn<QString>("sLabel");
    const auto version = [](const char* pValue) { return QByteArray("{\"version\":") + pValue + '}'; };
    QTest::newRow("number package version is empty") << version("12") << version("\"3\"") << "P? A3";
    QTest::newRow("large number asset version") << version("\"1\"") << version("20240101") << "P1 A20240101";
    QTest::newRow("mistyped asset version") << version("\"1\"") << version("[]") << "P1 A?";
    // No asset document is a valid package.
    QTest::newRow("no assets") << version("\"3\"") << QByteArray() << "P3 A?";
    QTest::newRow("package an array") << QByteArray("[]") << QByteArray() << "P? A?";
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + version("\"4\"") << QByteArray() << "P4 A?";
}

void tst_PackageConfigurationReader::versions()
{
    QFETCH(QByteArray, aPackage);
    QFETCH(QByteArray, aAssets);
    QFETCH(QString, sLabel);
    const auto pReader = read(aPackage, aAssets);
    QCOMPARE(pReader->versionLabel(), sLabel);
    QVERIFY(pReader->isValid());
    QCOMPARE(pReader->assetVersion().isEmpty(), sLabel.endsWith(QLatin1String("A?")));
}

void tst_PackageConfigurationReader::chunkAddresses_data()
{
    QTest::addColumn<QString>("sAddress");
    QTest::addColumn<QUrl>("oExpected");
    QTest::newRow("relative with query") << "chunks/ab?sig=1" << QUrl(QStringLiteral("https://cdn.invalid/live/p/chunks/ab"));
    QTest::newRow("absolute with query") << "https://other.invalid/ab?sig=1" << QUrl(QStringLiteral("https://other.invalid/ab?sig=1"));
    QTest::newRow("non-ASCII") << QString::fromUtf8("chunks/\xc3\xa9") << QUrl(QString::fromUtf8("https://cdn.invalid/live/p/chunks/\xc3\xa9"));
    QTest::newRow("empty") << "" << QUrl();
}

void tst_PackageConfigurationReader::chunkAddresses()
{
    QFETCH(QString, sAddress);
    QFETCH(QUrl, oExpected);
    const auto pReader = readChunk(QStringLiteral("\"url\":\"%1\"").arg(sAddress).toUtf8());
    QCOMPARE(pReader->url(pReader->chunks()[0]), oExpected);
}

void tst_PackageConfigurationReader::hostileShapesGiveDefaults()
{
    // Mistyped arrays are skipped, mistyped elements read as empty objects, and
    // chunk indices that are no 32-bit whole numbers never name a chunk.
    const auto pReader = read(R"({"version": {}, "executable": 3, "chunks": {"url": "x"}, "parameters": "-x",
                                  "files": [7, {"localfile": "a", "unpack": "false", "chunks": [1.5, "2", -1, 4294967296, 2147483647, null],
                                                "patches": {"url": "p"}}]})",
                              R"({"chunks": "none", "files": [[]]})");
    QVERIFY(pReader->isValid());
    QVERIFY(pReader->version().isEmpty() && pReader->executable().isEmpty());
    QVERIFY(pReader->chunks().empty() && pReader->parameters().isEmpty());
    QCOMPARE(pReader->files().size(), size_t(3));
    QVERIFY(pReader->files()[0].localFile().isEmpty());
    const TFileDescription& oA = pReader->files()[2];
    QCOMPARE(oA.localFile(), QStringLiteral("a"));
    QCOMPARE(oA.chunks(), std::vector<qint32>({-1, -1, -1, -1, 2147483647, -1}));
    QVERIFY(oA.patches().empty() && oA.unpackedHash().isEmpty() && oA.packedForm().unpack());
    QCOMPARE(oA.unpackedSize(), shared::TFileSize(0));

    // A description handed to a reader that did not list it gives no address,
    // also when its text offsets happen to fit the other reader's texts.
    const auto pOther = readChunk(R"("url": "chunks/with/a/long/address")");
    QVERIFY(pReader->url(pOther->chunks()[0]).isEmpty());
    const auto pShort = readChunk(R"("url": "c")");
    QVERIFY(pOther->url(pShort->chunks()[0]).isEmpty());
}

void tst_PackageConfigurationReader::duplicateKeysKeepTheLast()
{
    // Also in objects of more than 16 members.
    QByteArray aMembers = R"("packedsize": 1, "url": "a", "packedsize": 2, "url": "b")";
    for (int n = 0; n < 16; ++n)
        aMembers += ",\"x" + QByteArray::number(n) + "\": 0";
    const auto pReader = read(R"({"version": "1", "version": "2", "chunks": [{)" + aMembers + "}]}");
    QCOMPARE(pReader->version(), QStringLiteral("2"));
    QCOMPARE(pReader->chunks()[0].packedSize(), shared::TFileSize(2));
    QCOMPARE(pReader->url(pReader->chunks()[0]), QUrl(QStringLiteral("https://cdn.invalid/live/p/b")));
}

QTEST_MAIN(tst_PackageConfigurationReader)
#include "tst_packageconfigurationreader.moc"
