#include "testfiles.h"

#include "systemsurvey/processoridentification.h"
#include "systemsurvey/systemsurveyvalueretriever.h"

#include <QGuiApplication>
#include <QHash>
#include <QtEndian>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using systemsurvey::TCpuidRegisters;
using systemsurvey::TProcessorIdentification;
using systemsurvey::TSystemSurveyValueRetriever;

namespace {

quint32 packed(const char* pFourBytes)
{
    return qFromLittleEndian<quint32>(pFourBytes);
}

constexpr quint32 kExtended = 0x80000000u;

} // namespace

// The processor as it reports itself; the rest from a made-up system below a
// temporary folder, laid out like the kernel's files, and from this machine.
class tst_SystemSurveyValueRetriever : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_pRoot = std::make_unique<QTemporaryDir>(); }
    void processorIdentification_data();
    void processorIdentification();
    void memoryProcessorsAndClock();
    void graphicsAdapters();
    void thisMachine();

private:
    void write(const QString& sPath, const QByteArray& aContent) { QVERIFY(writeTestFile(m_pRoot->path() + sPath, aContent)); }
    void link(const QString& sTarget, const QString& sLink)
    {
        QDir().mkpath(QFileInfo(m_pRoot->path() + sLink).path());
        QVERIFY2(QFile::link(m_pRoot->path() + sTarget, m_pRoot->path() + sLink), qPrintable(sLink));
    }
    std::unique_ptr<QTemporaryDir> m_pRoot;
};

void tst_SystemSurveyValueRetriever::processorIdentification_data()
{
    QTest::addColumn<QByteArray>("aVendor");
    QTest::addColumn<quint32>("nHighestBasic");
    QTest::addColumn<quint32>("nHighestExtended");
    QTest::addColumn<quint32>("nLeaf1Edx");
    QTest::addColumn<quint32>("nExtendedEdx");
    QTest::addColumn<QByteArray>("aBrand");
    // Manufacturer | brand name | SSE, SSE2 and 64-bit as 0 or 1.
    QTest::addColumn<QString>("sExpected");
    // The vendor text is read in register order EBX, EDX, ECX; a clear feature bit has its neighbours set.
    QTest::newRow("blanks folded, neighbour bits")
        << QByteArray("GenuineIntel") << 1u << kExtended + 4 << (1u << 25 | 1u << 24 | 1u << 27) << (1u << 28 | 1u << 30)
        << QByteArray("    Intel(R) Core(TM)  i7 CPU  920 @ 2.67GHz  ") << "Intel|Intel(R) Core(TM) i7 CPU 920 @ 2.67GHz|100";
    QTest::newRow("48 bytes, no terminator")
        << QByteArray("AuthenticAMD") << 1u << kExtended + 4 << (1u << 26 | 1u << 24) << (1u << 29) << QByteArray(48, 'x')
        << QStringLiteral("AMD|%1|011").arg(QString(48, 'x'));
    QTest::newRow("bytes after the terminator") << QByteArray("genuineintel") << 1u << kExtended + 4 << 0u << 0u
                                                << QByteArray("Real\0Junk", 9) << "Unknown Manufacturer|Real|000";
    // Leaves above the highest announced answer garbage: never asked, never taken.
    QTest::newRow("brand leaves not announced") << QByteArray("CentaurHauls") << 1u << kExtended + 3 << ~0u << ~0u
                                                << QByteArray("Unread") << "Centaur|Acquiring Brand Name not supported|111";
    QTest::newRow("no leaf beyond the first") << QByteArray(12, '\0') << 0u << 0u << ~0u << ~0u << QByteArray("Unread")
                                              << "Unknown Manufacturer|Acquiring Brand Name not supported|000";
}

void tst_SystemSurveyValueRetriever::processorIdentification()
{
    QFETCH(QByteArray, aVendor);
    QFETCH(quint32, nHighestBasic);
    QFETCH(quint32, nHighestExtended);
    QFETCH(quint32, nLeaf1Edx);
    QFETCH(quint32, nExtendedEdx);
    QFETCH(QByteArray, aBrand);
    QHash<quint32, TCpuidRegisters> hLeaves;
    hLeaves[0] = {nHighestBasic, packed(aVendor.constData()), packed(aVendor.constData() + 8), packed(aVendor.constData() + 4)};
    hLeaves[1] = {0, 0, ~0u, nLeaf1Edx};
    hLeaves[kExtended] = {nHighestExtended, 0, 0, 0};
    hLeaves[kExtended + 1] = {0, 0, ~0u, nExtendedEdx};
    const QByteArray aPadded = aBrand.leftJustified(48, '\0', true);
    for (quint32 nLeaf = 0; nLeaf < 3; ++nLeaf) {
        const char* p = aPadded.constData() + 16 * nLeaf;
        hLeaves[kExtended + 2 + nLeaf] = {packed(p), packed(p + 4), packed(p + 8), packed(p + 12)};
    }
    QList<quint32> lAsked;
    const auto oInfo = TProcessorIdentification::identify([&](quint32 nLeaf) {
        lAsked << nLeaf;
        return hLeaves.value(nLeaf);
    });
    for (const quint32 nLeaf : lAsked)
        QVERIFY2(nLeaf <= nHighestBasic || nLeaf == kExtended || (nLeaf > kExtended && nLeaf <= nHighestExtended),
                 qPrintable(QString::number(nLeaf, 16)));
    QTEST(QStringLiteral("%1|%2|%3%4%5").arg(oInfo.m_sManufacturer, oInfo.m_sBrandName).arg(oInfo.m_bSse).arg(oInfo.m_bSse2)
              .arg(oInfo.m_b64Bit), "sExpected");
}

void tst_SystemSurveyValueRetriever::memoryProcessorsAndClock()
{
    const TSystemSurveyValueRetriever oRetriever(m_pRoot->path());
    const auto counts = [&oRetriever] {
        quint64 nNuma = 9, nPackages = 9, nCores = 9, nLogical = 9;
        oRetriever.retrieveProcessorCounts(nNuma, nPackages, nCores, nLogical);
        return QList<quint64>({nNuma, nPackages, nCores, nLogical});
    };
    // Nothing to read: every value neutral.
    QVERIFY(oRetriever.retrieveMainMemorySize() == 0 && oRetriever.retrieveClockSpeed() == 0.0
            && oRetriever.retrieveGraphicsAdapters().isEmpty());
    QCOMPARE(counts(), QList<quint64>({0, 0, 0, 0}));

    write(QStringLiteral("/proc/meminfo"), "MemFree:  1 kB\nMemTotal: 2048 kB\n");
    QCOMPARE(oRetriever.retrieveMainMemorySize(), quint64(2048 * 1024));
    write(QStringLiteral("/proc/meminfo"), "MemTotal: 18014398509481985 kB\n"); // bytes beyond 64 bits
    QCOMPARE(oRetriever.retrieveMainMemorySize(), quint64(0));

    // Two nodes; two packages of two cores with two threads each; one processor
    // taken offline; neighbours in the folders that are no processors or nodes.
    for (int nCpu = 0; nCpu < 9; ++nCpu) {
        const QString sCpu = QStringLiteral("/sys/devices/system/cpu/cpu%1/").arg(nCpu);
        const int nCore = nCpu % 4 + nCpu / 8 * 4; // cpu8 would be a core of a third package
        const QByteArray aSiblings = QByteArray::number(nCore) + ',' + QByteArray::number(nCore + 4);
        write(sCpu + QStringLiteral("topology/physical_package_id"), QByteArray::number(nCore / 2) + '\n');
        write(sCpu + QStringLiteral("topology/thread_siblings_list"), aSiblings + '\n');
        // The boot processor often has no online file.
        if (nCpu > 0)
            write(sCpu + QStringLiteral("online"), nCpu == 8 ? "0\n" : "1\n");
    }
    write(QStringLiteral("/sys/devices/system/cpu/cpufreq/policy0/x"), "");
    write(QStringLiteral("/sys/devices/system/node/node0/x"), "");
    write(QStringLiteral("/sys/devices/system/node/node1/x"), "");
    QCOMPARE(counts(), QList<quint64>({2, 2, 4, 8}));

    // Without a frequency driver, the highest clock the kernel measured at boot.
    write(QStringLiteral("/proc/cpuinfo"), "processor\t: 0\ncpu MHz\t\t: 2096.029\n\nprocessor\t: 1\ncpu MHz\t\t: 2399.5\n");
    QCOMPARE(oRetriever.retrieveClockSpeed(), 2399.5);
    // With one, the rated clock wins over the boost maximum; the highest processor
    // counts; offline processors and the boot-time measurement do not.
    const QString sCpu = QStringLiteral("/sys/devices/system/cpu/cpu%1/cpufreq/%2");
    write(sCpu.arg(0).arg(QStringLiteral("base_frequency")), "2100000\n");
    write(sCpu.arg(0).arg(QStringLiteral("cpuinfo_max_freq")), "4700000\n");
    write(sCpu.arg(1).arg(QStringLiteral("cpuinfo_max_freq")), "3400000\n");
    write(sCpu.arg(8).arg(QStringLiteral("cpuinfo_max_freq")), "9900000\n");
    QCOMPARE(oRetriever.retrieveClockSpeed(), 3400.0);
}

void tst_SystemSurveyValueRetriever::graphicsAdapters()
{
    write(QStringLiteral("/usr/share/misc/pci.ids"), "# comment\n1002  AMD\n\t73a5  Other\n\t73bf  Navi 21\n"
                                                     "10de  NVIDIA\n\t1eb8  Tesla T4\n8086  Intel\n\t2484  Not NVIDIA's\n");
    // A card's device with these PCI ids (none when empty) and driver.
    const auto card = [this](const QString& sCard, const QByteArray& aVendor, const QByteArray& aDevice, const QString& sDriver) {
        const QString sDevice = QStringLiteral("/devices/") + sCard;
        if (!aVendor.isEmpty()) {
            write(sDevice + QStringLiteral("/vendor"), aVendor);
            write(sDevice + QStringLiteral("/device"), aDevice);
        }
        write(QStringLiteral("/drivers/%1/x").arg(sDriver), "");
        link(QStringLiteral("/drivers/") + sDriver, sDevice + QStringLiteral("/driver"));
        link(sDevice, QStringLiteral("/sys/class/drm/%1/device").arg(sCard));
    };
    // Named by the database, with its memory size.
    card(QStringLiteral("card0"), "0x1002\n", "0x73bf\n", QStringLiteral("amdgpu"));
    write(QStringLiteral("/devices/card0/mem_info_vram_total"), "17163091968\n");
    // Not in the database, with an out-of-tree driver that has a version of its own.
    card(QStringLiteral("card1"), "0x10de\n", "0x2484\n", QStringLiteral("nvidia"));
    write(QStringLiteral("/modules/nvidia/version"), "535.129.03\n");
    link(QStringLiteral("/modules/nvidia"), QStringLiteral("/drivers/nvidia/module"));
    // No PCI device; then one with nothing known, which sorts after card2.
    card(QStringLiteral("card2"), QByteArray(), QByteArray(), QStringLiteral("simple-framebuffer"));
    write(QStringLiteral("/sys/class/drm/card10/x"), "");
    // A connector is no adapter of its own.
    write(QStringLiteral("/sys/class/drm/card0-DP-1/x"), "");

    QStringList lSeen;
    for (const auto& oAdapter : TSystemSurveyValueRetriever(m_pRoot->path()).retrieveGraphicsAdapters())
        lSeen << QStringLiteral("%1|%2|%3|%4|%5").arg(oAdapter.m_sDeviceString).arg(oAdapter.m_nVendorId, 0, 16)
                     .arg(oAdapter.m_nDeviceId, 0, 16).arg(oAdapter.m_nVideoMemorySize).arg(oAdapter.m_sDriverVersion);
    const QString sKernel = QSysInfo::kernelVersion();
    QCOMPARE(lSeen, QStringList({QStringLiteral("AMD Navi 21|1002|73bf|17163091968|") + sKernel,
                                 QStringLiteral("NVIDIA|10de|2484|0|535.129.03"),
                                 QStringLiteral("simple-framebuffer|0|0|0|") + sKernel, QStringLiteral("|0|0|0|")}));
}

void tst_SystemSurveyValueRetriever::thisMachine()
{
    // The kernel tells the same figures through its system calls.
    const TSystemSurveyValueRetriever oRetriever;
    QCOMPARE(oRetriever.retrieveMainMemorySize(), quint64(::sysconf(_SC_PHYS_PAGES)) * quint64(::sysconf(_SC_PAGESIZE)));
    const auto oProcessor = oRetriever.retrieveProcessor();
    QCOMPARE(oProcessor.m_nLogicalProcessors, quint64(::sysconf(_SC_NPROCESSORS_ONLN)));
    QVERIFY(1 <= oProcessor.m_nPhysicalPackages && oProcessor.m_nPhysicalPackages <= oProcessor.m_nCores
            && oProcessor.m_nCores <= oProcessor.m_nLogicalProcessors);
    // Every x86-64 processor has long mode, SSE and SSE2, and a brand text.
    QVERIFY2(oProcessor.m_b64Bit && oProcessor.m_bSse && oProcessor.m_bSse2 && !oProcessor.m_sBrandName.isEmpty(),
             qPrintable(oProcessor.m_sBrandName));
}

QTEST_MAIN(tst_SystemSurveyValueRetriever)
#include "tst_systemsurveyvalueretriever.moc"
