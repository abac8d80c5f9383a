// The packed container: the header test, both sizes, the dispatcher's refusals,
// strict against lenient.

#include "packedtestdata.h"
#include "testfiles.h"

#include "shared/decompressionerror.h"
#include "shared/packeddata.h"

#include <QtTest>

#include <climits>

namespace {

QByteArray bytes(const char* pHex) { return QByteArray::fromHex(pHex); }
// A valid deflate payload of "hello" (one fixed-Huffman block), laid out by hand.
const QByteArray kDeflatedHello = bytes("cb48cdc9c90700");
// "hello" stored, both sizes in varints longer than they need be.
const QByteArray kLongVarints = bytes("70 00 858000 8500") + "hello";
const quint64 kHugeSizes[] = {quint64{1} << 31, ~quint64{0}};

} // namespace

class TPackedDataTest : public QObject
{
    Q_OBJECT

private slots:
    void unpacks_data();
    void unpacks();
    void fails_data();
    void fails();
    void fuzzFoundInputs_data();
    void fuzzFoundInputs();
};

void TPackedDataTest::unpacks_data()
{
    QTest::addColumn<QByteArray>("aInput");
    QTest::addColumn<QByteArray>("aExpected");
    // Bytes that fail the header test come back as they are.
    for (const QByteArray& aNotPacked : {QByteArray(), QByteArray(17, '\0'), QByteArray("p"), QByteArray("hello world"),
                                         bytes("000070"), bytes("70ff010178"), bytes("00007018010178"), bytes("5000010178"), bytes("017000010178")})
        QTest::addRow("not packed: %s", aNotPacked.toHex().constData()) << aNotPacked << aNotPacked;
    const QByteArray aStored = packedTestStream(0, 5, "hello");
    QTest::newRow("stored") << aStored << QByteArray("hello");
    QTest::newRow("many leading zeros") << QByteArray(1000, '\0') + aStored << QByteArray("hello");
    QTest::newRow("stored, declared size larger than the payload") << packedTestStream(0, 500, "hello") << QByteArray("hello");
    QTest::newRow("stored, bytes after the payload are ignored") << packedTestStream(0, 5, "hello world", 5) << QByteArray("hello");
    QTest::newRow("stored, sizes in long varints") << kLongVarints << QByteArray("hello");
    // Large enough for the output to be advised for huge pages.
    const QByteArray aLarge = textLikeTestBytes(6 << 20, 1);
    QTest::newRow("stored, 6 MiB") << packedTestStream(0, aLarge.size(), aLarge) << aLarge;
    QTest::newRow("leading zeros before deflate") << QByteArray(3, '\0') + packedTestStream(3, 5, kDeflatedHello) << QByteArray("hello");
    // A stored payload needs only its own size, whatever the header declares.
    for (const quint64 nSize : kHugeSizes)
        QTest::addRow("stored, size %llu", qulonglong(nSize)) << packedTestStream(0, nSize, "hello") << QByteArray("hello");
}

void TPackedDataTest::unpacks()
{
    QFETCH(QByteArray, aInput);
    QFETCH(QByteArray, aExpected);
    QCOMPARE(shared::unpackStrict(aInput), aExpected);
    QCOMPARE(shared::unpackLenient(aInput), aExpected);
}

void TPackedDataTest::fails_data()
{
    QTest::addColumn<QByteArray>("aInput");
    // Every cut of a stored stream, from marker and method on: inside either size, or short of the payload.
    for (int nLength = 2; nLength < kLongVarints.size(); ++nLength)
        QTest::addRow("cut to %d", nLength) << kLongVarints.left(nLength);
    QTest::newRow("unpacked size 0") << packedTestStream(0, 0, "hello");
    QTest::newRow("packed size 0, bytes follow") << packedTestStream(0, 5, "hello", 0);
    QTest::newRow("payload size beyond any input") << packedTestStream(0, 5, "hello", Q_INT64_C(0x7fffffffffffffff));
    QTest::newRow("stored payload larger than the declared size") << packedTestStream(0, 4, "hello");
    QTest::newRow("varint of 11 bytes") << bytes("7000 80808080808080808080 05 05") + "hello";
    QTest::newRow("varint beyond 64 bits") << bytes("7000 858080808080808080 02 05") + "hello";
    QTest::newRow("leading zeros, then a bad stream") << QByteArray(3, '\0') + packedTestStream(0, 0, "x");
    // Its decoder is not part of the launcher yet.
    QTest::newRow("method 14") << packedTestStream(14, 5, bytes("00001000000040000040") + "hello");
    QTest::newRow("deflate with a reserved block type") << packedTestStream(3, 5, bytes("070000"));
    QTest::newRow("lzma shorter than its header") << packedTestStream(5, 5, bytes("5d00000100"));
    QTest::newRow("lzma with invalid properties") << packedTestStream(5, 5, QByteArray(13, '\xff') + "hello");
    QTest::newRow("lzip without magic") << packedTestStream(4, 5, QByteArray("LZIX\x01\x0c") + "hello");
    QTest::newRow("zpaq without a block") << packedTestStream(6, 5, "hello, no block in here");
    // Sizes no byte array can hold fail before anything is reserved; one just within
    // what it holds is reserved, then the payload fails to fill it.
    QTest::newRow("deflate, size just below the limit") << packedTestStream(3, INT_MAX - 100, "hello");
    for (const int nMethod : {3, 4, 5, 6, 21})
        for (const quint64 nSize : kHugeSizes)
            QTest::addRow("method %d, size %llu", nMethod, qulonglong(nSize)) << packedTestStream(nMethod, nSize, "hello");
}

// Every failure is the same error for the strict operation and the input itself,
// unchanged, for the lenient one.
void TPackedDataTest::fails()
{
    QFETCH(QByteArray, aInput);
    QVERIFY_EXCEPTION_THROWN(shared::unpackStrict(aInput), shared::TDecompressionError);
    QCOMPARE(shared::unpackLenient(aInput), aInput);
}

void TPackedDataTest::fuzzFoundInputs_data()
{
    QTest::addColumn<QString>("sPath");
    const QDir oFolder(QStringLiteral(CORVANE_SOURCE_DIR "/launcher/tests/shared/data/fuzzfound"));
    const QStringList lNames = oFolder.entryList(QDir::Files);
    QVERIFY2(!lNames.isEmpty(), qPrintable(oFolder.path()));
    for (const QString& sName : lNames)
        QTest::newRow(qPrintable(sName)) << oFolder.filePath(sName);
}

// Inputs on which the fuzzer once found a fault. The sanitizer build reports a
// fault that returns; here both operations must simply agree.
void TPackedDataTest::fuzzFoundInputs()
{
    QFETCH(QString, sPath);
    const QByteArray aInput = readTestFile(sPath);
    QVERIFY(!aInput.isEmpty());
    QByteArray aExpected;
    try {
        aExpected = shared::unpackStrict(aInput);
    } catch (const shared::TDecompressionError&) {
        aExpected = aInput;
    }
    QCOMPARE(shared::unpackLenient(aInput), aExpected);
}

QTEST_GUILESS_MAIN(TPackedDataTest)
#include "tst_packeddata.moc"
