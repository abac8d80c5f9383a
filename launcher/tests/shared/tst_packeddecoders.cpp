// Each decoder against payloads made independently of our packers: Python's zlib
// module, the xz (.lzma form) and lzip commands, ZPAQ blocks and method 21 bit
// streams assembled here by hand from their rules.

#include "packedtestdata.h"
#include "referencetool.h"

#include "shared/decompressionerror.h"
#include "shared/packeddata.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

struct TSample
{
    const char* pName;
    QByteArray aData;
};

QList<TSample> samples()
{
    return {
        {"one byte", QByteArray("x")},
        {"text", textLikeTestBytes(100000, 1)},
        {"random", noiseBytes(65536, 2)},
        {"zeros", QByteArray(1 << 20, '\0')},
        {"mixed", noiseBytes(300000, 3) + textLikeTestBytes(400000, 4)},
    };
}

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

// A method 21 bit stream written field by field from the decoding rule, with the
// bytes the rule says it decodes to.
class TCrushStream
{
public:
    void literal(char cByte)
    {
        bits(0, 1);
        bits(static_cast<uchar>(cByte), 8);
        m_aExpected.append(cByte);
    }

    void literals(const QByteArray& aBytes)
    {
        for (const char cByte : aBytes)
            literal(cByte);
    }

    // 3 + nExtraLength bytes from nDistance + 1 bytes back, the distance in the
    // shortest form the rule allows.
    void match(int nExtraLength, quint32 nDistance)
    {
        bits(1, 1);
        extraLength(nExtraLength);
        if (nDistance < 64) {
            bits(0, 4);
            bits(nDistance, 6);
        } else {
            int nBits = 6;
            while ((quint32{2} << nBits) <= nDistance)
                ++nBits;
            bits(static_cast<quint32>(nBits - 5), 4);
            bits(nDistance - (quint32{1} << nBits), nBits);
        }
        const int nOffset = static_cast<int>(nDistance) + 1;
        for (int nIndex = 0; nIndex < 3 + nExtraLength; ++nIndex) {
            if (nOffset <= m_aExpected.size())
                m_aExpected.append(m_aExpected.at(m_aExpected.size() - nOffset));
        }
    }

    QByteArray stream() const
    {
        QByteArray aStream = m_aBytes;
        if (m_nPending > 0)
            aStream.append(static_cast<char>(m_nBuffer));
        return aStream;
    }
    const QByteArray& expected() const { return m_aExpected; }

private:
    // The cascade of the rule: before step i come i 0 bits and, except on the last
    // step, a 1 bit; then the length less the step's base in the step's bits.
    void extraLength(int nLength)
    {
        static const int kSteps[][2] = {{0, 2}, {4, 2}, {8, 2}, {12, 3}, {20, 5}, {52, 9}};
        int nStep = 5;
        while (nLength < kSteps[nStep][0])
            --nStep;
        if (nStep < 5)
            bits(quint32{1} << nStep, nStep + 1);
        else
            bits(0, 5);
        bits(static_cast<quint32>(nLength - kSteps[nStep][0]), kSteps[nStep][1]);
    }

    // Least significant bit first.
    void bits(quint32 nValue, int nCount)
    {
        for (int nBit = 0; nBit < nCount; ++nBit) {
            m_nBuffer |= ((nValue >> nBit) & 1u) << m_nPending;
            if (++m_nPending == 8) {
                m_aBytes.append(static_cast<char>(m_nBuffer));
                m_nBuffer = 0;
                m_nPending = 0;
            }
        }
    }

    QByteArray m_aBytes;
    QByteArray m_aExpected;
    quint32 m_nBuffer = 0;
    int m_nPending = 0;
};

// One ZPAQ block of level 2 without components: its data is stored, so a block
// can be laid out by hand. aData starts with the postprocessor: 0 (none) or
// 1, program size (2 bytes) and program. nMemoryBits sets the four memory sizes.
QByteArray zpaqStoredBlock(const QByteArray& aData, const QByteArray& aSha1 = QByteArray(), int nMemoryBits = 0)
{
    QByteArray aBlock("zPQ");
    const char cBits = static_cast<char>(nMemoryBits);
    // Level 2, ZPAQL type 1, header size 7, hh hm ph pm, no components, COMP end, HCOMP end.
    aBlock.append("\x02\x01\x07\x00", 4);
    aBlock.append(QByteArray(4, cBits));
    aBlock.append("\x00\x00\x00", 3);
    // Segment: start, empty file name, empty comment, reserved byte.
    aBlock.append("\x01\x00\x00\x00", 4);
    const quint32 nSize = static_cast<quint32>(aData.size());
    for (int nShift = 24; nShift >= 0; nShift -= 8)
        aBlock.append(static_cast<char>((nSize >> nShift) & 0xff));
    aBlock.append(aData);
    aBlock.append(QByteArray(4, '\0'));
    if (aSha1.isEmpty()) {
        aBlock.append('\xfe');
    } else {
        aBlock.append('\xfd');
        aBlock.append(aSha1);
    }
    aBlock.append('\xff');
    return aBlock;
}

QByteArray sha1(const QByteArray& aData)
{
    return QCryptographicHash::hash(aData, QCryptographicHash::Sha1);
}

} // namespace

class TPackedDecodersTest : public QObject
{
    Q_OBJECT

private slots:
    void payloadsOfReferenceTools_data();
    void payloadsOfReferenceTools();
    void lzmaDeclaredSizes();
    void lzipDamage();
    void zpaqBlocks();
    void zpaqFailures();
    void crushStreams_data();
    void crushStreams();
    void crushFailures();
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
    const struct
    {
        const char* pName;
        const char* pProgram;
        QStringList lArguments;
        int nMethod;
    } aTools[] = {
        {"deflate 9", "python3", {"-c", sDeflate.arg(9).arg(QString())}, 3},
        {"deflate 0", "python3", {"-c", sDeflate.arg(0).arg(QString())}, 3},
        {"deflate fixed", "python3", {"-c", sDeflate.arg(6).arg(QStringLiteral(", 9, zlib.Z_FIXED"))}, 3},
        {"lzma -6", "xz", {"--format=lzma", "-c", "-6"}, 5},
        {"lzma -0", "xz", {"--format=lzma", "-c", "-0"}, 5},
        {"lzip -0", "lzip", {"-c", "-0"}, 4},
        {"lzip -9", "lzip", {"-c", "-9"}, 4},
        {"lzip, 4 KiB dictionary", "lzip", {"-c", "-s", "4KiB"}, 4},
    };
    for (const TSample& oSample : samples()) {
        for (const auto& oTool : aTools)
            QTest::addRow("%s, %s", oSample.pName, oTool.pName)
                << QString::fromLatin1(oTool.pProgram) << oTool.lArguments << oTool.nMethod << oSample.aData;
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
        // Method 10 shares the payload; the declared size only bounds the output (see below).
        QVERIFY2(unpacksTo(packedTestStream(10, nSize, aPayload), aData, sWhy), qPrintable(sWhy));
        QVERIFY(fails(packedTestStream(5, nSize, aPayload.left(aPayload.size() / 2))));
        return;
    }
    QVERIFY(fails(packedTestStream(nMethod, nSize + 1, aPayload)));
    if (nSize > 1)
        QVERIFY(fails(packedTestStream(nMethod, nSize - 1, aPayload)));
    QVERIFY(fails(packedTestStream(nMethod, nSize, aPayload.left(aPayload.size() - 1))));
}

// The result is what the decoder produced: the stream's end cuts a larger declared
// size, a full output ends a longer stream.
void TPackedDecodersTest::lzmaDeclaredSizes()
{
    const QByteArray aData = textLikeTestBytes(50000, 7);
    QByteArray aPayload;
    QString sError;
    QVERIFY2(runReferenceTool(QStringLiteral("xz"), {"--format=lzma", "-c"}, aData, aPayload, sError), qPrintable(sError));
    QString sWhy;
    QVERIFY2(unpacksTo(packedTestStream(5, 1 << 20, aPayload), aData, sWhy), qPrintable(sWhy));
    QVERIFY2(unpacksTo(packedTestStream(5, 1000, aPayload), aData.left(1000), sWhy), qPrintable(sWhy));
    QVERIFY2(unpacksTo(packedTestStream(10, 1, aPayload), aData.left(1), sWhy), qPrintable(sWhy));
}

// The member trailer (CRC-32, data size, member size) is checked.
void TPackedDecodersTest::lzipDamage()
{
    const QByteArray aData = textLikeTestBytes(30000, 8);
    QByteArray aPayload;
    QString sError;
    QVERIFY2(runReferenceTool(QStringLiteral("lzip"), {"-c"}, aData, aPayload, sError), qPrintable(sError));
    const quint64 nSize = static_cast<quint64>(aData.size());
    const int nTrailer = aPayload.size() - 20;
    for (const int nAt : {nTrailer, nTrailer + 4, nTrailer + 12}) {
        QByteArray aDamaged = aPayload;
        aDamaged[nAt] = static_cast<char>(aDamaged.at(nAt) ^ 0x01);
        QVERIFY2(fails(packedTestStream(4, nSize, aDamaged)), qPrintable(QStringLiteral("trailer byte %1").arg(nAt)));
    }
    QVERIFY(fails(packedTestStream(4, nSize, aPayload.left(aPayload.size() / 2))));
}

void TPackedDecodersTest::zpaqBlocks()
{
    QString sWhy;
    QVERIFY2(unpacksTo(packedTestStream(6, 5, zpaqStoredBlock(QByteArray(1, '\0') + "hello")), "hello", sWhy),
             qPrintable(sWhy));
    QVERIFY2(unpacksTo(packedTestStream(6, 5, zpaqStoredBlock(QByteArray(1, '\0') + "hello", sha1("hello"))), "hello", sWhy),
             qPrintable(sWhy));
    // Blocks follow one another.
    const QByteArray aTwoBlocks = zpaqStoredBlock(QByteArray(1, '\0') + "hello ", sha1("hello ")) +
                                  zpaqStoredBlock(QByteArray(1, '\0') + "world", sha1("world"));
    QVERIFY2(unpacksTo(packedTestStream(6, 11, aTwoBlocks), "hello world", sWhy), qPrintable(sWhy));
}

void TPackedDecodersTest::zpaqFailures()
{
    const QByteArray aHello = QByteArray(1, '\0') + "hello";
    QVERIFY2(fails(packedTestStream(6, 5, zpaqStoredBlock(aHello, sha1("hellO")))), "wrong SHA-1 sum");
    QVERIFY2(fails(packedTestStream(6, 4, zpaqStoredBlock(aHello))), "output larger than declared");
    QVERIFY2(fails(packedTestStream(6, 6, zpaqStoredBlock(aHello))), "output smaller than declared");
    const QByteArray aBlock = zpaqStoredBlock(aHello, sha1("hello"));
    for (int nLength = 1; nLength < aBlock.size(); ++nLength)
        QVERIFY2(fails(packedTestStream(6, 5, aBlock.left(nLength))), qPrintable(QStringLiteral("cut to %1").arg(nLength)));
    QVERIFY2(fails(packedTestStream(6, 5, zpaqStoredBlock(aHello, QByteArray(), 30))), "asks for gigabytes of memory");
    // Postprocessor "JMP -2", a loop without end, run on the first data byte: the
    // decoder gives up after its instruction budget instead of hanging.
    QVERIFY2(fails(packedTestStream(6, 1, zpaqStoredBlock(QByteArray("\x01\x02\x00\x3f\xfe", 5) + "x"))), "endless program");
    // An unknown opcode in the postprocessor ends in libzpaq's error handler,
    // which must not end the process.
    QVERIFY2(fails(packedTestStream(6, 1, zpaqStoredBlock(QByteArray("\x01\x01\x00\x00", 4) + "x"))), "opcode ERROR");
}

void TPackedDecodersTest::crushStreams_data()
{
    QTest::addColumn<QByteArray>("aStream");
    QTest::addColumn<int>("nDeclared");
    QTest::addColumn<QByteArray>("aExpected");
    const auto addRow = [](const char* pName, const TCrushStream& oStream, int nDeclared = -1) {
        const QByteArray& aExpected = oStream.expected();
        const int nSize = nDeclared < 0 ? aExpected.size() : nDeclared;
        QTest::newRow(pName) << oStream.stream() << nSize << aExpected.left(nSize);
    };

    TCrushStream oLiterals;
    oLiterals.literals("abc\xff\x00\x80");
    addRow("literals", oLiterals);

    TCrushStream oRun;
    oRun.literal('a');
    oRun.match(0, 0);
    oRun.match(563, 0);
    oRun.literal('b');
    oRun.match(1, 1);
    addRow("runs through overlapping matches", oRun);

    TCrushStream oLengths;
    oLengths.literals("01234567");
    for (const int nLength : {0, 3, 4, 7, 8, 11, 12, 19, 20, 51, 52, 300, 563})
        oLengths.match(nLength, 7);
    addRow("every length step", oLengths);

    TCrushStream oDistances;
    oDistances.literals(noiseBytes((1 << 21) + 10, 9));
    for (int nBits = 6; nBits <= 20; ++nBits) {
        oDistances.match(0, quint32{1} << nBits);
        oDistances.match(1, (quint32{2} << nBits) - 1);
    }
    oDistances.match(2, 0);
    oDistances.match(2, 63);
    addRow("every distance slot", oDistances);

    TCrushStream oFirstByte;
    oFirstByte.literals("start");
    oFirstByte.match(2, 4);
    addRow("match from the first byte", oFirstByte);

    TCrushStream oCut;
    oCut.literals("abcdef");
    oCut.match(20, 5);
    addRow("declared end inside a match", oCut, 20);
    addRow("declared end after the first literal", oCut, 1);
}

void TPackedDecodersTest::crushStreams()
{
    QFETCH(QByteArray, aStream);
    QFETCH(int, nDeclared);
    QFETCH(QByteArray, aExpected);
    QString sWhy;
    QVERIFY2(unpacksTo(packedTestStream(21, static_cast<quint64>(nDeclared), aStream), aExpected, sWhy), qPrintable(sWhy));
}

void TPackedDecodersTest::crushFailures()
{
    TCrushStream oNoHistory;
    oNoHistory.match(0, 0);
    QVERIFY2(fails(packedTestStream(21, 3, oNoHistory.stream())), "match before any output");

    TCrushStream oBeforeStart;
    oBeforeStart.literals("abc");
    oBeforeStart.match(0, 3);
    QVERIFY2(fails(packedTestStream(21, 6, oBeforeStart.stream())), "match one byte before the start");

    TCrushStream oValid;
    oValid.literals("abcdefgh");
    oValid.match(30, 2);
    const QByteArray aStream = oValid.stream();
    const quint64 nSize = static_cast<quint64>(oValid.expected().size());
    QVERIFY2(fails(packedTestStream(21, nSize + 1, aStream)), "declares more than the stream holds");
    for (int nLength = 1; nLength < aStream.size(); ++nLength)
        QVERIFY2(fails(packedTestStream(21, nSize, aStream.left(nLength))), qPrintable(QStringLiteral("cut to %1").arg(nLength)));
}

QTEST_GUILESS_MAIN(TPackedDecodersTest)
#include "tst_packeddecoders.moc"
