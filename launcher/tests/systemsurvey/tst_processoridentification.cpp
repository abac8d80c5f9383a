#include "systemsurvey/processoridentification.h"

#include <QHash>
#include <QtTest>

using systemsurvey::TCpuidRegisters;
using systemsurvey::TProcessorIdentification;

namespace {

quint32 packed(const char* pFourBytes)
{
    quint32 nValue = 0;
    for (int nByte = 3; nByte >= 0; --nByte)
        nValue = (nValue << 8) | static_cast<unsigned char>(pFourBytes[nByte]);
    return nValue;
}

// A processor that answers from a table; leaves it lacks read as zeros and are
// remembered, so a test can see which leaves were asked for.
struct TFakeProcessor
{
    QHash<quint32, TCpuidRegisters> m_hLeaves;
    QList<quint32> m_lAsked;

    void setVendor(const QByteArray& aVendor, quint32 nHighestLeaf)
    {
        m_hLeaves[0] = {nHighestLeaf, packed(aVendor.constData()), packed(aVendor.constData() + 8),
                        packed(aVendor.constData() + 4)};
    }
    // 48 bytes, zero-padded, spread over the three brand leaves.
    void setBrand(const QByteArray& aBrand)
    {
        const QByteArray aPadded = aBrand.leftJustified(48, '\0', true);
        for (quint32 nLeaf = 0; nLeaf < 3; ++nLeaf) {
            const char* p = aPadded.constData() + 16 * nLeaf;
            m_hLeaves[0x80000002u + nLeaf] = {packed(p), packed(p + 4), packed(p + 8), packed(p + 12)};
        }
    }
    TProcessorIdentification::TCpuidFunction function()
    {
        return [this](quint32 nLeaf) {
            m_lAsked.append(nLeaf);
            return m_hLeaves.value(nLeaf);
        };
    }
};

} // namespace

class tst_ProcessorIdentification : public QObject
{
    Q_OBJECT

private slots:
    void vendorTable_data();
    void vendorTable();
    void brandName_data();
    void brandName();
    void brandNameUnsupportedBelowLastBrandLeaf();
    void featureBits_data();
    void featureBits();
    void leavesAboveTheHighestAreNotAsked();
    void realProcessor();
};

void tst_ProcessorIdentification::vendorTable_data()
{
    QTest::addColumn<QByteArray>("vendor");
    QTest::addColumn<QString>("manufacturer");
    // One entry of the table, and one whose name keeps its leading blank. The
    // fake processor answers in register order EBX, EDX, ECX, as a real one does.
    QTest::newRow("GenuineIntel") << QByteArray("GenuineIntel") << "Intel";
    QTest::newRow("Vortex86 SoC") << QByteArray("Vortex86 SoC") << " Vortex";
    QTest::newRow("unknown") << QByteArray("HygonGenuine") << "Unknown Manufacturer";
    QTest::newRow("letter case matters") << QByteArray("genuineintel") << "Unknown Manufacturer";
    QTest::newRow("all zeros") << QByteArray(12, '\0') << "Unknown Manufacturer";
}

void tst_ProcessorIdentification::vendorTable()
{
    QFETCH(QByteArray, vendor);
    QFETCH(QString, manufacturer);
    QCOMPARE(TProcessorIdentification::manufacturerForVendor(vendor), manufacturer);

    TFakeProcessor oProcessor;
    oProcessor.setVendor(vendor, 1);
    QCOMPARE(TProcessorIdentification::identify(oProcessor.function()).m_sManufacturer, manufacturer);
}

void tst_ProcessorIdentification::brandName_data()
{
    QTest::addColumn<QByteArray>("brand");
    QTest::addColumn<QString>("expected");
    QTest::newRow("leading blanks") << QByteArray("        Intel(R) Core(TM) i7 CPU  920  @ 2.67GHz")
                                    << "Intel(R) Core(TM) i7 CPU 920 @ 2.67GHz";
    QTest::newRow("trailing blanks fill 48") << QByteArray("Brand").leftJustified(48, ' ') << "Brand";
    QTest::newRow("full 48 without terminator") << QByteArray(48, 'x') << QString(48, QLatin1Char('x'));
    QTest::newRow("bytes after terminator ignored") << QByteArray("Real\0Junk", 9) << "Real";
    QTest::newRow("empty") << QByteArray() << "";
}

void tst_ProcessorIdentification::brandName()
{
    QFETCH(QByteArray, brand);
    QFETCH(QString, expected);
    TFakeProcessor oProcessor;
    oProcessor.setVendor("GenuineIntel", 1);
    oProcessor.m_hLeaves[0x80000000u] = {0x80000004u, 0, 0, 0};
    oProcessor.setBrand(brand);
    QCOMPARE(TProcessorIdentification::identify(oProcessor.function()).m_sBrandName, expected);
}

void tst_ProcessorIdentification::brandNameUnsupportedBelowLastBrandLeaf()
{
    for (quint32 nHighest : {0u, 0x80000001u, 0x80000003u}) {
        TFakeProcessor oProcessor;
        oProcessor.setVendor("GenuineIntel", 1);
        oProcessor.m_hLeaves[0x80000000u] = {nHighest, 0, 0, 0};
        oProcessor.setBrand("Must not be read");
        QCOMPARE(TProcessorIdentification::identify(oProcessor.function()).m_sBrandName,
                 QStringLiteral("Acquiring Brand Name not supported"));
        QVERIFY2(!oProcessor.m_lAsked.contains(0x80000002u), "brand leaves asked although not announced");
    }
}

void tst_ProcessorIdentification::featureBits_data()
{
    QTest::addColumn<quint32>("leaf1Edx");
    QTest::addColumn<quint32>("extendedEdx");
    QTest::addColumn<bool>("sse");
    QTest::addColumn<bool>("sse2");
    QTest::addColumn<bool>("is64Bit");
    QTest::newRow("sse only") << (1u << 25) << 0u << true << false << false;
    QTest::newRow("sse2 only") << (1u << 26) << 0u << false << true << false;
    QTest::newRow("neighbours do not count") << ((1u << 24) | (1u << 27)) << ((1u << 28) | (1u << 30)) << false
                                             << false << false;
    QTest::newRow("64-bit only") << 0u << (1u << 29) << false << false << true;
}

void tst_ProcessorIdentification::featureBits()
{
    QFETCH(quint32, leaf1Edx);
    QFETCH(quint32, extendedEdx);
    TFakeProcessor oProcessor;
    oProcessor.setVendor("AuthenticAMD", 1);
    oProcessor.m_hLeaves[1] = {0, 0, ~0u, leaf1Edx};
    oProcessor.m_hLeaves[0x80000000u] = {0x80000001u, 0, 0, 0};
    oProcessor.m_hLeaves[0x80000001u] = {0, 0, ~0u, extendedEdx};
    const auto oInfo = TProcessorIdentification::identify(oProcessor.function());
    QTEST(oInfo.m_bSse, "sse");
    QTEST(oInfo.m_bSse2, "sse2");
    QTEST(oInfo.m_b64Bit, "is64Bit");
}

void tst_ProcessorIdentification::leavesAboveTheHighestAreNotAsked()
{
    // Highest basic leaf 0 and no extended leaves: leaf 1 and 0x80000001 would
    // answer garbage, so their bits must not be taken.
    TFakeProcessor oProcessor;
    oProcessor.setVendor("CentaurHauls", 0);
    oProcessor.m_hLeaves[1] = {0, 0, 0, ~0u};
    oProcessor.m_hLeaves[0x80000001u] = {0, 0, 0, ~0u};
    const auto oInfo = TProcessorIdentification::identify(oProcessor.function());
    QCOMPARE(oInfo.m_sManufacturer, QStringLiteral("Centaur"));
    QVERIFY(!oInfo.m_bSse);
    QVERIFY(!oInfo.m_bSse2);
    QVERIFY(!oInfo.m_b64Bit);
    QVERIFY(!oProcessor.m_lAsked.contains(1u));
    QVERIFY(!oProcessor.m_lAsked.contains(0x80000001u));
}

void tst_ProcessorIdentification::realProcessor()
{
#if defined(__x86_64__)
    // Every x86-64 processor has long mode, SSE and SSE2, and a brand text.
    const auto oInfo = TProcessorIdentification::identify(&TProcessorIdentification::executeCpuid);
    QVERIFY(oInfo.m_b64Bit);
    QVERIFY(oInfo.m_bSse);
    QVERIFY(oInfo.m_bSse2);
    QVERIFY2(!oInfo.m_sBrandName.isEmpty(), "no brand text");
    QVERIFY2(oInfo.m_sBrandName == oInfo.m_sBrandName.simplified(), qPrintable(oInfo.m_sBrandName));
#else
    QSKIP("not an x86-64 processor");
#endif
}

QTEST_APPLESS_MAIN(tst_ProcessorIdentification)
#include "tst_processoridentification.moc"
