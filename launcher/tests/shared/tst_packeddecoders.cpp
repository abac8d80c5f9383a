// Each decoder against payloads made independently of our packers: Python's zlib
// module, the xz (.lzma form) and lzip commands, ZPAQ blocks and method 21 bit
// streams assembled here by hand from their rules.

#include "packedtestdata.h"
#include "referencetool.h"

#include "shared/decompressionerror.h"
#include "shared/packeddata.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <QtTest>

namespace {

// Unpacks strictly and says why when it throws.
bool unpacksTo(const QByteArray& aStream, const QByteArray& aExpected, QString& sWhy)
{
    try {
        const QByteArray aActual = shared::unpackStrict(aStream);
        if (aActual == aExpected)
            return true;
        sWhy = QStringLiteral("unpacked %1 bytes, expected %2").arg(aActual.size()).arg(aExpected.size());
    } catch (const shared::TDecompressionError& oError) {
        sWhy = QString::fromUtf8(oError.what());
    }
    return false;
}

bool fails(const QByteArray& aStream)
{
    try {
        shared::unpackStrict(aStream);
    } catch (const shared::TDecompressionError&) {
        return shared::unpackLenient(aStream) == aStream;
    }
    return false;
}

// A method 21 bit stream written field by field from the decoding rule, least
// significant bit first, with the bytes the rule says it decodes to.
class TCrushStream
{
public:
    void literals(const QByteArray& aBytes)
    {
        for (const char cByte : aBytes)
            bits(quint32{static_cast<uchar>(cByte)} << 1, 9);
        m_aExpected.append(aBytes);
    }

    // 3 + nExtraLength bytes from nDistance + 1 bytes back. The length is a cascade:
    // before step i come i 0 bits and, except on the last step, a 1 bit; then the
    // length less the step's base in the step's bits. The distance takes the
    // shortest form the rule allows.
    void match(int nExtraLength, quint32 nDistance)
    {
        static const int kSteps[][2] = {{0, 2}, {4, 2}, {8, 2}, {12, 3}, {20, 5}, {52, 9}};
        int nStep = 5;
        while (nExtraLength < kSteps[nStep][0])
            --nStep;
        bits(1, 1);
        bits(nStep < 5 ? quint32{1} << nStep : 0, nStep < 5 ? nStep + 1 : 5);
        bits(static_cast<quint32>(nExtraLength - kSteps[nStep][0]), kSteps[nStep][1]);
        int nBits = 6;
        while ((quint32{2} << nBits) <= nDistance)
            ++nBits;
        bits(nDistance < 64 ? 0 : static_cast<quint32>(nBits - 5), 4);
        bits(nDistance < 64 ? nDistance : nDistance - (quint32{1} << nBits), nBits);
        const int nOffset = static_cast<int>(nDistance) + 1;
        for (int nIndex = 0; nIndex < 3 + nExtraLength && nOffset <= m_aExpected.size(); ++nIndex)
            m_aExpected.append(m_aExpected.at(m_aExpected.size() - nOffset));
    }

    const QByteArray& stream() const { return m_aBytes; }
    const QByteArray& expected() const { return m_aExpected; }

private:
    void bits(quint32 nValue, int nCount)
    {
        for (int nBit = 0; nBit < nCount; ++nBit, ++m_nBits) {
            if (m_nBits % 8 == 0)
                m_aBytes.append('\0');
            m_aBytes.data()[m_aBytes.size() - 1] |= static_cast<char>(((nValue >> nBit) & 1u) << (m_nBits % 8));
        }
    }

    QByteArray m_aBytes;
    QByteArray m_aExpected;
    int m_nBits = 0;
};

// One ZPAQ block of level 2 without components: its data is stored, so a block
// can be laid out by hand. aData starts with the postprocessor: 0 (none) or
// 1, program size (2 bytes) and program. nMemoryBits sets the four memory sizes.
QByteArray zpaqStoredBlock(const QByteArray& aData, const QByteArray& aSha1 = QByteArray(), int nMemoryBits = 0)
{
    // Level 2, ZPAQL type 1, header size 7, hh hm ph pm, no components, COMP end, HCOMP end;
    // then a segment: start, empty file name, empty comment, reserved byte, data size, data.
    const quint32 nSize = qToBigEndian(static_cast<quint32>(aData.size()));
    const QByteArray aBlock = QByteArray("zPQ\x02\x01\x07\x00", 7) + QByteArray(4, static_cast<char>(nMemoryBits))
                              + QByteArray("\x00\x00\x00\x01\x00\x00\x00", 7)
                              + QByteArray(reinterpret_cast<const char*>(&nSize), 4) + aData;
    // End of segment with or without its SHA-1, end of block.
    return aBlock + QByteArray(4, '\0') + (aSha1.isEmpty() ? QByteArray("\xfe") : '\xfd' + aSha1) + '\xff';
}

} // namespace

class TPackedDecodersTest : public QObject
{
    Q_OBJECT

private slots:
    void payloadsOfReferenceTools_data();
    void payloadsOfReferenceTools();
    void handMadeStreams_data();
    void handMadeStreams();
};

void TPackedDecodersTest::payloadsOfReferenceTools_data()
{
    QTest::addColumn<QString>("sProgram");
    QTest::addColumn<QStringList>("lArguments");
    QTest::addColumn<int>("nMethod");
    QTest::addColumn<QByteArray>("aData");
    const QString sDeflate = QStringLiteral("import sys, zlib\nc = zlib.compressobj(%1, zlib.DEFLATED, -15%2)\n"
                                            "sys.stdout.buffer.write(c.compress(sys.stdin.buffer.read()) + c.flush())");
    // Dynamic, stored and fixed-table deflate blocks; both LZMA match finders;
    // lzip at both ends and with a dictionary smaller than the data.
    const QList<std::tuple<const char*, const char*, QStringList, int>> lTools = {
        {"deflate 9", "python3", {"-c", sDeflate.arg(9).arg(QString())}, 3},
        {"deflate 0", "python3", {"-c", sDeflate.arg(0).arg(QString())}, 3},
        {"deflate fixed", "python3", {"-c", sDeflate.arg(6).arg(QStringLiteral(", 9, zlib.Z_FIXED"))}, 3},
        {"lzma -6", "xz", {"--format=lzma", "-c", "-6"}, 5},
        {"lzma -0", "xz", {"--format=lzma", "-c", "-0"}, 5},
        {"lzip -0", "lzip", {"-c", "-0"}, 4},
        {"lzip -9", "lzip", {"-c", "-9"}, 4},
        {"lzip, 4 KiB dictionary", "lzip", {"-c", "-s", "4KiB"}, 4},
    };
    const QList<QPair<const char*, QByteArray>> lSamples = {
        {"one byte", QByteArray("x")},
        {"text", textLikeTestBytes(100000, 1)},
        {"random", noiseBytes(65536, 2)},
        {"zeros", QByteArray(1 << 20, '\0')},
        {"mixed", noiseBytes(300000, 3) + textLikeTestBytes(400000, 4)},
    };
    for (const auto& oSample : lSamples) {
        for (const auto& oTool : lTools)
            QTest::addRow("%s, %s", oSample.first, std::get<0>(oTool))
                << QString::fromLatin1(std::get<1>(oTool)) << std::get<2>(oTool) << std::get<3>(oTool) << oSample.second;
    }
    // Members of at most 100 kB: several members one after another.
    QTest::newRow("mixed, several lzip members") << QStringLiteral("lzip") << QStringList{"-c", "-0", "-b", "100kB"} << 4
                                                 << noiseBytes(150000, 5) + textLikeTestBytes(400000, 6);
}

void TPackedDecodersTest::payloadsOfReferenceTools()
{
    QFETCH(QString, sProgram);
    QFETCH(QStringList, lArguments);
    QFETCH(int, nMethod);
    QFETCH(QByteArray, aData);
    QByteArray aPayload;
    QString sWhy;
    QVERIFY2(runReferenceTool(sProgram, lArguments, aData, aPayload, sWhy), qPrintable(sWhy));
    const quint64 nSize = static_cast<quint64>(aData.size());
    QVERIFY2(unpacksTo(packedTestStream(nMethod, nSize, aPayload), aData, sWhy), qPrintable(sWhy));
    if (nMethod == 5) {
        // The declared size only bounds the output: the stream's end cuts a larger one,
        // a full output ends a longer stream. Method 10 shares the payload.
        QVERIFY2(unpacksTo(packedTestStream(5, nSize + 1000, aPayload), aData, sWhy), qPrintable(sWhy));
        QVERIFY2(unpacksTo(packedTestStream(10, (nSize + 1) / 2, aPayload), aData.left((aData.size() + 1) / 2), sWhy),
                 qPrintable(sWhy));
        QVERIFY(fails(packedTestStream(5, nSize, aPayload.left(aPayload.size() / 2))));
        return;
    }
    QVERIFY(fails(packedTestStream(nMethod, nSize + 1, aPayload)));
    if (nSize > 1)
        QVERIFY(fails(packedTestStream(nMethod, nSize - 1, aPayload)));
    QVERIFY(fails(packedTestStream(nMethod, nSize, aPayload.left(aPayload.size() - 1))));
    // The lzip member trailer: CRC-32, data size and member size are checked.
    if (nMethod != 4)
        return;
    for (const int nFromEnd : {20, 16, 8}) {
        QByteArray aDamaged = aPayload;
        aDamaged[aPayload.size() - nFromEnd] = static_cast<char>(aDamaged.at(aPayload.size() - nFromEnd) ^ 0x01);
        QVERIFY2(fails(packedTestStream(4, nSize, aDamaged)), qPrintable(QString::number(nFromEnd)));
    }
}

// ZPAQ blocks and method 21 bit streams laid out by hand; a null expectation
// means the stream must fail.
void TPackedDecodersTest::handMadeStreams_data()
{
    QTest::addColumn<int>("nMethod");
    QTest::addColumn<QByteArray>("aStream");
    QTest::addColumn<int>("nDeclared");
    QTest::addColumn<QByteArray>("aExpected");
    const auto zpaq = [](const char* pName, const QByteArray& aBlocks, int nDeclared, const QByteArray& aExpected) {
        QTest::newRow(pName) << 6 << aBlocks << nDeclared << aExpected;
    };
    const auto sha1 = [](const QByteArray& aData) { return QCryptographicHash::hash(aData, QCryptographicHash::Sha1); };
    const QByteArray aHello = QByteArray(1, '\0') + "hello";
    const QByteArray aBlock = zpaqStoredBlock(aHello, sha1("hello"));
    zpaq("zpaq", zpaqStoredBlock(aHello), 5, "hello");
    zpaq("zpaq with SHA-1", aBlock, 5, "hello");
    zpaq("zpaq, blocks one after another",
         zpaqStoredBlock(QByteArray(1, '\0') + "hello ", sha1("hello ")) +
             zpaqStoredBlock(QByteArray(1, '\0') + "world", sha1("world")),
         11, "hello world");
    zpaq("zpaq, wrong SHA-1 sum", zpaqStoredBlock(aHello, sha1("hellO")), 5, {});
    zpaq("zpaq, output larger than declared", aBlock, 4, {});
    zpaq("zpaq, output smaller than declared", aBlock, 6, {});
    zpaq("zpaq, asks for gigabytes of memory", zpaqStoredBlock(aHello, QByteArray(), 30), 5, {});
    // Postprocessor "JMP -2", a loop without end, run on the first data byte: the
    // decoder gives up after its instruction budget instead of hanging.
    zpaq("zpaq, endless program", zpaqStoredBlock(QByteArray("\x01\x02\x00\x3f\xfe", 5) + "x"), 1, {});
    // An unknown opcode in the postprocessor ends in libzpaq's error handler,
    // which must not end the process.
    zpaq("zpaq, opcode ERROR", zpaqStoredBlock(QByteArray("\x01\x01\x00\x00", 4) + "x"), 1, {});
    for (int nLength = 1; nLength < aBlock.size(); ++nLength)
        QTest::addRow("zpaq cut to %d", nLength) << 6 << aBlock.left(nLength) << 5 << QByteArray();

    const auto crush = [](const char* pName, const TCrushStream& oStream, int nDeclared = -1, bool bFails = false) {
        const int nSize = nDeclared < 0 ? oStream.expected().size() : nDeclared;
        QTest::newRow(pName) << 21 << oStream.stream() << nSize << (bFails ? QByteArray() : oStream.expected().left(nSize));
    };
    TCrushStream oRuns;
    oRuns.literals(QByteArray("a\xff\x00\x80", 4));
    oRuns.match(0, 0);
    oRuns.match(563, 0);
    oRuns.literals("b");
    oRuns.match(1, 1);
    crush("literals, runs through overlapping matches", oRuns);

    TCrushStream oLengths;
    oLengths.literals("01234567");
    for (const int nLength : {0, 3, 4, 7, 8, 11, 12, 19, 20, 51, 52, 300, 563})
        oLengths.match(nLength, 7);
    crush("every length step, from the first byte", oLengths);
    crush("declared end inside a match", oLengths, 20);
    crush("declared end after the first literal", oLengths, 1);
    crush("declares more than the stream holds", oLengths, oLengths.expected().size() + 1, true);
    for (int nLength = 1; nLength < oLengths.stream().size(); ++nLength)
        QTest::addRow("crush cut to %d", nLength) << 21 << oLengths.stream().left(nLength) << oLengths.expected().size()
                                                  << QByteArray();

    TCrushStream oDistances;
    oDistances.literals(noiseBytes((1 << 21) + 10, 9));
    for (int nBits = 6; nBits <= 20; ++nBits) {
        oDistances.match(0, quint32{1} << nBits);
        oDistances.match(1, (quint32{2} << nBits) - 1);
    }
    oDistances.match(2, 0);
    oDistances.match(2, 63);
    crush("every distance slot", oDistances);

    TCrushStream oNoHistory;
    oNoHistory.match(0, 0);
    crush("match before any output", oNoHistory, 3, true);
    TCrushStream oBeforeStart;
    oBeforeStart.literals("abc");
    oBeforeStart.match(0, 3);
    crush("match one byte before the start", oBeforeStart, 6, true);
}

void TPackedDecodersTest::handMadeStreams()
{
    QFETCH(int, nMethod);
    QFETCH(QByteArray, aStream);
    QFETCH(int, nDeclared);
    QFETCH(QByteArray, aExpected);
    const QByteArray aInput = packedTestStream(nMethod, static_cast<quint64>(nDeclared), aStream);
    QString sWhy;
    if (aExpected.isNull())
        QVERIFY(fails(aInput));
    else
        QVERIFY2(unpacksTo(aInput, aExpected, sWhy), qPrintable(sWhy));
}

QTEST_GUILESS_MAIN(TPackedDecodersTest)
#include "tst_packeddecoders.moc"
