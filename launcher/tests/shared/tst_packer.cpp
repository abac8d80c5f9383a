// Our packers: every method round-trips through the unpack at every size class,
// writes the full header, and writes payloads the reference tools read.

#include "packedtestdata.h"
#include "referencetool.h"

#include "shared/packeddata.h"
#include "shared/packer.h"

#include <QtTest>

Q_DECLARE_METATYPE(shared::EPackMethod)

namespace {

const shared::EPackMethod kMethods[] = {shared::EPackMethod::Store, shared::EPackMethod::Deflate,
                                        shared::EPackMethod::Lzip,  shared::EPackMethod::Lzma,
                                        shared::EPackMethod::Zpaq,  shared::EPackMethod::Crush};

// Where each method needs watching: the smallest streams, the 4 and 64 KiB marks,
// output beyond the 1 MiB steps of the LZMA encoders and, for method 21, repeats at
// the farthest distance it can reach and one byte beyond.
QList<QPair<QString, QByteArray>> roundTripInputs(shared::EPackMethod eMethod)
{
    QList<QPair<QString, QByteArray>> lInputs;
    for (const int nSize : {1, 2, 3, 4, 9, 255, 4095, 4096, 4097, 65535, 65536, 65537}) {
        lInputs.append({QStringLiteral("random %1").arg(nSize), noiseBytes(nSize, static_cast<quint32>(nSize))});
        lInputs.append({QStringLiteral("text %1").arg(nSize), textLikeTestBytes(nSize, static_cast<quint32>(nSize))});
    }
    lInputs.append({QStringLiteral("zeros 100000"), QByteArray(100000, '\0')});
    lInputs.append({QStringLiteral("one byte 0x70"), QByteArray("p")});
    lInputs.append({QStringLiteral("looks packed"), QByteArray("\x00\x00p\x00\x05\x05hello", 11)});
    // Libzpaq models every bit, and the sanitizer build runs it unoptimised: several
    // MiB are left to the faster methods.
    if (eMethod == shared::EPackMethod::Zpaq) {
        lInputs.append({QStringLiteral("mixed 200000"), noiseBytes(100000, 10) + textLikeTestBytes(100000, 11)});
        return lInputs;
    }
    lInputs.append({QStringLiteral("mixed 3 MiB"), noiseBytes(3 << 19, 13) + textLikeTestBytes(3 << 19, 14)});
    if (eMethod == shared::EPackMethod::Crush) {
        const QByteArray aHistory = noiseBytes((1 << 21) + 64, 15);
        lInputs.append({QStringLiteral("repeats 2 MiB back"), aHistory + aHistory.mid(64, 3000) + aHistory.mid(63, 3000)});
    }
    return lInputs;
}

} // namespace

class TPackerTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void emptyInput();
    void referenceToolsReadPayloads();
};

void TPackerTest::roundTrip_data()
{
    QTest::addColumn<shared::EPackMethod>("eMethod");
    QTest::addColumn<QByteArray>("aInput");
    for (const shared::EPackMethod eMethod : kMethods) {
        for (const auto& oInput : roundTripInputs(eMethod))
            QTest::addRow("%s, %s", qPrintable(shared::packMethodName(eMethod)), qPrintable(oInput.first))
                << eMethod << oInput.second;
    }
}

void TPackerTest::roundTrip()
{
    QFETCH(shared::EPackMethod, eMethod);
    QFETCH(QByteArray, aInput);
    // The default level and, where the method has levels, the extreme ones.
    const std::optional<shared::TPackLevels> oLevels = shared::packLevels(eMethod);
    QList<int> lLevels{shared::kDefaultPackLevel};
    if (oLevels)
        lLevels << oLevels->nLowest << oLevels->nHighest;
    for (const int nLevel : qAsConst(lLevels)) {
        const QByteArray aPacked = shared::pack(aInput, eMethod, nLevel);
        // Marker, method, both sizes: rebuilding the stream from its payload gives it back.
        QCOMPARE(aPacked, packedTestStream(static_cast<int>(eMethod), static_cast<quint64>(aInput.size()),
                                           payloadOfPackedStream(aPacked)));
        // Checked leniently first: what fails there would throw from the strict unpack.
        QCOMPARE(shared::unpackLenient(aPacked), aInput);
        QCOMPARE(shared::unpackStrict(QByteArray(3, '\0') + aPacked), aInput);
    }
    if (oLevels)
        QVERIFY_EXCEPTION_THROWN(shared::pack(aInput, eMethod, oLevels->nHighest + 1), std::invalid_argument);
}

// A stream cannot declare zero bytes, so nothing packs to nothing, which the
// unpack hands back as it is.
void TPackerTest::emptyInput()
{
    for (const shared::EPackMethod eMethod : kMethods)
        QVERIFY(shared::pack(QByteArray(), eMethod).isEmpty());
    QVERIFY(shared::unpackStrict(QByteArray()).isEmpty());
}

void TPackerTest::referenceToolsReadPayloads()
{
    // lzip's integrity test also checks the trailer's sizes and the end marker.
    const struct
    {
        shared::EPackMethod eMethod;
        const char* pProgram;
        QStringList lArguments;
    } aReaders[] = {
        {shared::EPackMethod::Deflate, "python3",
         {"-c", "import sys, zlib; sys.stdout.buffer.write(zlib.decompress(sys.stdin.buffer.read(), -15))"}},
        {shared::EPackMethod::Lzma, "xz", {"--format=lzma", "-dc"}},
        {shared::EPackMethod::Lzip, "lzip", {"-dc"}},
        {shared::EPackMethod::Lzip, "lzip", {"-t"}},
    };
    for (const QByteArray& aInput : {QByteArray("q"), textLikeTestBytes(100000, 21), noiseBytes(70000, 22),
                                     noiseBytes(600000, 23) + textLikeTestBytes(900000, 24)}) {
        for (const auto& oReader : aReaders) {
            QByteArray aOutput;
            QString sError;
            const QByteArray aPayload = payloadOfPackedStream(shared::pack(aInput, oReader.eMethod));
            QVERIFY2(runReferenceTool(QLatin1String(oReader.pProgram), oReader.lArguments, aPayload, aOutput, sError),
                     qPrintable(sError));
            QVERIFY2(oReader.lArguments.contains("-t") || aOutput == aInput, oReader.pProgram);
        }
    }
}

QTEST_GUILESS_MAIN(TPackerTest)
#include "tst_packer.moc"
