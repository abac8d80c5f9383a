#include "testfiles.h"

#include "systemsurvey/systemsurveyvalueretriever.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using systemsurvey::TSystemSurveyValueRetriever;

namespace {

// A made-up system below a temporary folder, laid out like the kernel's files.
class TFakeSystem
{
public:
    QString root() const { return m_oDir.path(); }

    void write(const QString& sPath, const QByteArray& aContent) { QVERIFY(writeTestFile(root() + sPath, aContent)); }
    void mkdir(const QString& sPath) { QVERIFY(QDir().mkpath(root() + sPath)); }
    void link(const QString& sTarget, const QString& sLink)
    {
        QDir().mkpath(QFileInfo(root() + sLink).path());
        QVERIFY2(QFile::link(root() + sTarget, root() + sLink), qPrintable(sLink));
    }
    void processor(int nCpu, int nPackage, const QByteArray& aSiblings, bool bOnline = true)
    {
        const QString sBase = QStringLiteral("/sys/devices/system/cpu/cpu%1").arg(nCpu);
        write(sBase + QStringLiteral("/topology/physical_package_id"), QByteArray::number(nPackage) + '\n');
        write(sBase + QStringLiteral("/topology/thread_siblings_list"), aSiblings + '\n');
        if (!bOnline)
            write(sBase + QStringLiteral("/online"), "0\n");
        else if (nCpu > 0)
            write(sBase + QStringLiteral("/online"), "1\n");
    }

private:
    QTemporaryDir m_oDir;
};

} // namespace

class tst_SystemSurveyValueRetriever : public QObject
{
    Q_OBJECT

private slots:
    void neutralValuesWhenNothingCanBeRead();
    void mainMemorySize_data();
    void mainMemorySize();
    void processorCounts();
    void clockSpeedFromFrequencyDriver();
    void clockSpeedFromProcessorInformation();
    void graphicsAdapters();
    void operatingSystem();
    void monitorsFollowTheScreens();
    void thisMachine();
};

void tst_SystemSurveyValueRetriever::neutralValuesWhenNothingCanBeRead()
{
    TFakeSystem oSystem;
    const TSystemSurveyValueRetriever oRetriever(oSystem.root());
    QCOMPARE(oRetriever.retrieveMainMemorySize(), quint64(0));
    quint64 nNuma = 9, nPackages = 9, nCores = 9, nLogical = 9;
    oRetriever.retrieveProcessorCounts(nNuma, nPackages, nCores, nLogical);
    QCOMPARE(nNuma, quint64(0));
    QCOMPARE(nPackages, quint64(0));
    QCOMPARE(nCores, quint64(0));
    QCOMPARE(nLogical, quint64(0));
    QCOMPARE(oRetriever.retrieveClockSpeed(), 0.0);
    QVERIFY(oRetriever.retrieveGraphicsAdapters().isEmpty());
    const auto oProcessor = oRetriever.retrieveProcessor();
    QCOMPARE(oProcessor.m_nLogicalProcessors, quint64(0));
    QCOMPARE(oProcessor.m_dClockSpeed, 0.0);

    const TSystemSurveyValueRetriever oMissingRoot(oSystem.root() + QStringLiteral("/does-not-exist"));
    QCOMPARE(oMissingRoot.retrieveMainMemorySize(), quint64(0));
    QVERIFY(oMissingRoot.retrieveGraphicsAdapters().isEmpty());
}

void tst_SystemSurveyValueRetriever::mainMemorySize_data()
{
    QTest::addColumn<QByteArray>("meminfo");
    QTest::addColumn<quint64>("bytes");
    QTest::newRow("first line") << QByteArray("MemTotal:       16314572 kB\nMemFree:  1 kB\n") << quint64(16314572) * 1024;
    QTest::newRow("later line") << QByteArray("MemFree:  1 kB\nMemTotal: 2048 kB\n") << quint64(2048 * 1024);
    QTest::newRow("missing") << QByteArray("MemFree:  1 kB\n") << quint64(0);
    QTest::newRow("not a number") << QByteArray("MemTotal: lots kB\n") << quint64(0);
    QTest::newRow("overflowing") << QByteArray("MemTotal: 99999999999999999999 kB\n") << quint64(0);
}

void tst_SystemSurveyValueRetriever::mainMemorySize()
{
    QFETCH(QByteArray, meminfo);
    TFakeSystem oSystem;
    oSystem.write(QStringLiteral("/proc/meminfo"), meminfo);
    QTEST(TSystemSurveyValueRetriever(oSystem.root()).retrieveMainMemorySize(), "bytes");
}

void tst_SystemSurveyValueRetriever::processorCounts()
{
    // Two packages of two cores with two threads each, one processor taken
    // offline, and neighbours in the folder that are no processors or nodes.
    TFakeSystem oSystem;
    oSystem.processor(0, 0, "0,4");
    oSystem.processor(1, 0, "1,5");
    oSystem.processor(2, 1, "2,6");
    oSystem.processor(3, 1, "3,7");
    oSystem.processor(4, 0, "0,4");
    oSystem.processor(5, 0, "1,5");
    oSystem.processor(6, 1, "2,6");
    oSystem.processor(7, 1, "3,7");
    oSystem.processor(8, 2, "8", false);
    oSystem.mkdir(QStringLiteral("/sys/devices/system/cpu/cpufreq/policy0"));
    oSystem.mkdir(QStringLiteral("/sys/devices/system/cpu/cpuidle"));
    oSystem.write(QStringLiteral("/sys/devices/system/cpu/online"), "0-7\n");
    oSystem.mkdir(QStringLiteral("/sys/devices/system/node/node0"));
    oSystem.mkdir(QStringLiteral("/sys/devices/system/node/node1"));
    oSystem.write(QStringLiteral("/sys/devices/system/node/has_cpu"), "0-1\n");

    quint64 nNuma = 0, nPackages = 0, nCores = 0, nLogical = 0;
    TSystemSurveyValueRetriever(oSystem.root()).retrieveProcessorCounts(nNuma, nPackages, nCores, nLogical);
    QCOMPARE(nNuma, quint64(2));
    QCOMPARE(nPackages, quint64(2));
    QCOMPARE(nCores, quint64(4));
    QCOMPARE(nLogical, quint64(8));
}

void tst_SystemSurveyValueRetriever::clockSpeedFromFrequencyDriver()
{
    TFakeSystem oSystem;
    oSystem.processor(0, 0, "0");
    oSystem.processor(1, 0, "1");
    oSystem.processor(2, 0, "2", false);
    // The rated clock wins over the boost maximum; the highest processor counts;
    // offline processors and the boot-time measurement do not.
    oSystem.write(QStringLiteral("/sys/devices/system/cpu/cpu0/cpufreq/base_frequency"), "2100000\n");
    oSystem.write(QStringLiteral("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"), "4700000\n");
    oSystem.write(QStringLiteral("/sys/devices/system/cpu/cpu1/cpufreq/cpuinfo_max_freq"), "3400000\n");
    oSystem.write(QStringLiteral("/sys/devices/system/cpu/cpu2/cpufreq/cpuinfo_max_freq"), "9900000\n");
    oSystem.write(QStringLiteral("/proc/cpuinfo"), "cpu MHz\t\t: 5000.000\n");
    QCOMPARE(TSystemSurveyValueRetriever(oSystem.root()).retrieveClockSpeed(), 3400.0);
}

void tst_SystemSurveyValueRetriever::clockSpeedFromProcessorInformation()
{
    TFakeSystem oSystem;
    oSystem.processor(0, 0, "0");
    oSystem.write(QStringLiteral("/proc/cpuinfo"),
                  "processor\t: 0\ncpu MHz\t\t: 2096.029\nflags\t: fpu\n\n"
                  "processor\t: 1\ncpu MHz\t\t: 2399.5\n\nprocessor\t: 2\n");
    QCOMPARE(TSystemSurveyValueRetriever(oSystem.root()).retrieveClockSpeed(), 2399.5);
}

void tst_SystemSurveyValueRetriever::graphicsAdapters()
{
    TFakeSystem oSystem;
    oSystem.write(QStringLiteral("/usr/share/misc/pci.ids"),
                  "# comment\n"
                  "1002  Advanced Micro Devices, Inc. [AMD/ATI]\n"
                  "\t73a5  Navi 21 [Radeon RX 6950 XT]\n"
                  "\t73bf  Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]\n"
                  "\t\t1002 0e3a  Radeon RX 6900 XT\n"
                  "10de  NVIDIA Corporation\n"
                  "\t1eb8  TU104GL [Tesla T4]\n"
                  "8086  Intel Corporation\n"
                  "\t2484  Not the NVIDIA device\n");
    oSystem.mkdir(QStringLiteral("/drivers/amdgpu"));
    oSystem.mkdir(QStringLiteral("/drivers/nvidia"));
    oSystem.write(QStringLiteral("/modules/nvidia/version"), "535.129.03\n");
    oSystem.link(QStringLiteral("/modules/nvidia"), QStringLiteral("/drivers/nvidia/module"));
    oSystem.mkdir(QStringLiteral("/drivers/simple-framebuffer"));

    // card0: an AMD card named by the database, with its memory size.
    oSystem.write(QStringLiteral("/devices/amd/vendor"), "0x1002\n");
    oSystem.write(QStringLiteral("/devices/amd/device"), "0x73bf\n");
    oSystem.write(QStringLiteral("/devices/amd/mem_info_vram_total"), "17163091968\n");
    oSystem.link(QStringLiteral("/drivers/amdgpu"), QStringLiteral("/devices/amd/driver"));
    oSystem.link(QStringLiteral("/devices/amd"), QStringLiteral("/sys/class/drm/card0/device"));
    // card1: a device the database does not list, with an out-of-tree driver.
    oSystem.write(QStringLiteral("/devices/nv/vendor"), "0x10de\n");
    oSystem.write(QStringLiteral("/devices/nv/device"), "0x2484\n");
    oSystem.link(QStringLiteral("/drivers/nvidia"), QStringLiteral("/devices/nv/driver"));
    oSystem.link(QStringLiteral("/devices/nv"), QStringLiteral("/sys/class/drm/card1/device"));
    // card2: a framebuffer that is no PCI device.
    oSystem.link(QStringLiteral("/drivers/simple-framebuffer"), QStringLiteral("/devices/fb/driver"));
    oSystem.link(QStringLiteral("/devices/fb"), QStringLiteral("/sys/class/drm/card2/device"));
    // card10: nothing known at all; it sorts after card2.
    oSystem.mkdir(QStringLiteral("/sys/class/drm/card10"));
    // Connectors and render nodes are no adapters of their own.
    oSystem.mkdir(QStringLiteral("/sys/class/drm/card0-DP-1"));
    oSystem.mkdir(QStringLiteral("/sys/class/drm/renderD128"));
    oSystem.write(QStringLiteral("/sys/class/drm/version"), "drm 1.1.0 20060810\n");

    // Name | vendor | device | memory | driver of each adapter, in card order.
    QStringList lSeen;
    for (const auto& oAdapter : TSystemSurveyValueRetriever(oSystem.root()).retrieveGraphicsAdapters())
        lSeen << QStringLiteral("%1|%2|%3|%4|%5")
                     .arg(oAdapter.m_sDeviceString)
                     .arg(oAdapter.m_nVendorId, 0, 16)
                     .arg(oAdapter.m_nDeviceId, 0, 16)
                     .arg(oAdapter.m_nVideoMemorySize)
                     .arg(oAdapter.m_sDriverVersion);
    QCOMPARE(lSeen, QStringList({QStringLiteral("Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]"
                                                "|1002|73bf|17163091968|")
                                     + QSysInfo::kernelVersion(),
                                 QStringLiteral("NVIDIA Corporation|10de|2484|0|535.129.03"),
                                 QStringLiteral("simple-framebuffer|0|0|0|") + QSysInfo::kernelVersion(),
                                 QStringLiteral("|0|0|0|")}));
}

void tst_SystemSurveyValueRetriever::operatingSystem()
{
    const auto oSystem = TSystemSurveyValueRetriever().retrieveOperatingSystem();
    QCOMPARE(oSystem.m_sBaseSystem, QStringLiteral("Linux"));
    QVERIFY2(!oSystem.m_sName.isEmpty(), "no product name");
    QVERIFY2(!oSystem.m_sRelease.isEmpty(), "no kernel release");
}

void tst_SystemSurveyValueRetriever::monitorsFollowTheScreens()
{
    const auto lMonitors = TSystemSurveyValueRetriever().retrieveMonitors();
    const QList<QScreen*> lScreens = QGuiApplication::screens();
    QCOMPARE(lMonitors.size(), lScreens.size());
    int nPrimary = 0;
    for (int n = 0; n < lMonitors.size(); ++n) {
        QCOMPARE(lMonitors[n].m_nWidth, lScreens[n]->geometry().width());
        QCOMPARE(lMonitors[n].m_nHeight, lScreens[n]->geometry().height());
        QCOMPARE(lMonitors[n].m_nRefreshRate, quint64(lScreens[n]->refreshRate()));
        nPrimary += lMonitors[n].m_bPrimary ? 1 : 0;
    }
    QCOMPARE(nPrimary, lMonitors.isEmpty() ? 0 : 1);
}

void tst_SystemSurveyValueRetriever::thisMachine()
{
    // The kernel tells the same figures through its system calls.
    const TSystemSurveyValueRetriever oRetriever;
    const quint64 nPhysical = static_cast<quint64>(::sysconf(_SC_PHYS_PAGES)) * static_cast<quint64>(::sysconf(_SC_PAGESIZE));
    QCOMPARE(oRetriever.retrieveMainMemorySize(), nPhysical);
    const auto oProcessor = oRetriever.retrieveProcessor();
    QCOMPARE(oProcessor.m_nLogicalProcessors, static_cast<quint64>(::sysconf(_SC_NPROCESSORS_ONLN)));
    QVERIFY(oProcessor.m_nCores >= 1 && oProcessor.m_nCores <= oProcessor.m_nLogicalProcessors);
    QVERIFY(oProcessor.m_nPhysicalPackages >= 1 && oProcessor.m_nPhysicalPackages <= oProcessor.m_nCores);
}

QTEST_MAIN(tst_SystemSurveyValueRetriever)
#include "tst_systemsurveyvalueretriever.moc"
