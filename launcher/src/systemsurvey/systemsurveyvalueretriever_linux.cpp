#include "systemsurveyvalueretriever.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>

#include <algorithm>

namespace systemsurvey {

namespace {

// Enough for the processor information of thousands of processors; anything
// bigger is not a kernel file we are after.
constexpr qint64 kMaxKernelFileSize = 16 << 20;

// Files under /proc report a size of 0, so they are read to their end rather
// than up to their size.
QByteArray readKernelFile(const QString& sPath)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly))
        return QByteArray();
    return oFile.read(kMaxKernelFileSize);
}

QByteArray readTrimmed(const QString& sPath)
{
    return readKernelFile(sPath).trimmed();
}

// "cpu0", "cpu1", ... "cpu10" below sDirectory, in numeric order; other entries
// that share the prefix ("cpufreq", "card0-DP-1") are left out.
QStringList numberedEntries(const QString& sDirectory, const QString& sPrefix)
{
    const QRegularExpression oPattern(QStringLiteral("^%1(\\d+)$").arg(QRegularExpression::escape(sPrefix)));
    QList<QPair<quint64, QString>> lFound;
    const QStringList lEntries = QDir(sDirectory).entryList({sPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& sEntry : lEntries) {
        const QRegularExpressionMatch oMatch = oPattern.match(sEntry);
        if (oMatch.hasMatch())
            lFound.append({oMatch.captured(1).toULongLong(), sEntry});
    }
    std::sort(lFound.begin(), lFound.end());
    QStringList lNames;
    for (const auto& oEntry : qAsConst(lFound))
        lNames.append(sDirectory + QLatin1Char('/') + oEntry.second);
    return lNames;
}

// Processors the kernel has taken offline keep their folder but report online=0;
// the boot processor often has no such file at all.
QStringList onlineProcessorFolders(const QString& sCpuDirectory)
{
    QStringList lOnline;
    const QStringList lFolders = numberedEntries(sCpuDirectory, QStringLiteral("cpu"));
    for (const QString& sFolder : lFolders) {
        if (readTrimmed(sFolder + QStringLiteral("/online")) != "0")
            lOnline.append(sFolder);
    }
    return lOnline;
}

bool parseHexId(const QByteArray& aText, quint32& nValue)
{
    bool bOk = false;
    const uint nParsed = aText.startsWith("0x") ? aText.mid(2).toUInt(&bOk, 16) : aText.toUInt(&bOk, 16);
    if (bOk)
        nValue = nParsed;
    return bOk;
}

// "<vendor> <device>" from the PCI id database when the system has one: vendor
// lines start at column 0, their devices follow indented by one tab.
QString pciName(const QString& sDatabase, quint32 nVendorId, quint32 nDeviceId)
{
    QFile oFile(sDatabase);
    if (!oFile.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray aVendor = QByteArray::number(nVendorId, 16).rightJustified(4, '0');
    const QByteArray aDevice = QByteArray::number(nDeviceId, 16).rightJustified(4, '0');
    QString sVendorName;
    bool bInVendor = false;
    while (!oFile.atEnd()) {
        const QByteArray aLine = oFile.readLine();
        if (aLine.startsWith('#') || aLine.trimmed().isEmpty())
            continue;
        if (!aLine.startsWith('\t')) {
            if (bInVendor)
                break;
            if (aLine.startsWith(aVendor + ' ')) {
                bInVendor = true;
                sVendorName = QString::fromUtf8(aLine.mid(aVendor.size()).trimmed());
            }
        } else if (bInVendor && !aLine.startsWith("\t\t") && aLine.mid(1).startsWith(aDevice + ' ')) {
            return sVendorName + QLatin1Char(' ') + QString::fromUtf8(aLine.mid(1 + aDevice.size()).trimmed());
        }
    }
    return sVendorName;
}

} // namespace

TOperatingSystemInfo TSystemSurveyValueRetriever::retrieveOperatingSystem() const
{
    TOperatingSystemInfo oSystem;
    oSystem.m_sBaseSystem = QStringLiteral("Linux");
    oSystem.m_sName = QSysInfo::prettyProductName();
    oSystem.m_sRelease = QSysInfo::kernelVersion();
    return oSystem;
}

quint64 TSystemSurveyValueRetriever::retrieveMainMemorySize() const
{
    const QRegularExpression oTotal(QStringLiteral("^MemTotal:\\s+(\\d+)\\s*kB"));
    const QList<QByteArray> lLines = readKernelFile(systemPath(QStringLiteral("/proc/meminfo"))).split('\n');
    for (const QByteArray& aLine : lLines) {
        const QRegularExpressionMatch oMatch = oTotal.match(QString::fromLatin1(aLine));
        if (oMatch.hasMatch()) {
            bool bOk = false;
            const quint64 nKiB = oMatch.captured(1).toULongLong(&bOk);
            return bOk && nKiB <= (~quint64(0) >> 10) ? nKiB << 10 : 0;
        }
    }
    return 0;
}

void TSystemSurveyValueRetriever::retrieveProcessorCounts(quint64& nNumaNodes, quint64& nPhysicalPackages,
                                                          quint64& nCores, quint64& nLogicalProcessors) const
{
    nNumaNodes = numberedEntries(systemPath(QStringLiteral("/sys/devices/system/node")), QStringLiteral("node")).size();

    const QStringList lProcessors = onlineProcessorFolders(systemPath(QStringLiteral("/sys/devices/system/cpu")));
    nLogicalProcessors = lProcessors.size();
    // A core is the set of hardware threads that share it, so distinct sibling
    // lists count cores whatever numbering the packages and dies use.
    QSet<QByteArray> oPackages;
    QSet<QByteArray> oCores;
    for (const QString& sProcessor : lProcessors) {
        const QByteArray aPackage = readTrimmed(sProcessor + QStringLiteral("/topology/physical_package_id"));
        if (!aPackage.isEmpty())
            oPackages.insert(aPackage);
        const QByteArray aSiblings = readTrimmed(sProcessor + QStringLiteral("/topology/thread_siblings_list"));
        if (!aSiblings.isEmpty())
            oCores.insert(aSiblings);
    }
    nPhysicalPackages = oPackages.size();
    nCores = oCores.size();
}

double TSystemSurveyValueRetriever::retrieveClockSpeed() const
{
    // The rated (base) clock where the frequency driver tells it, else the highest
    // it allows; both in kHz.
    double dHighest = 0.0;
    const QStringList lProcessors = onlineProcessorFolders(systemPath(QStringLiteral("/sys/devices/system/cpu")));
    for (const QString& sProcessor : lProcessors) {
        for (const char* pFile : {"/cpufreq/base_frequency", "/cpufreq/cpuinfo_max_freq"}) {
            bool bOk = false;
            const double dKHz = readTrimmed(sProcessor + QLatin1String(pFile)).toDouble(&bOk);
            if (bOk && dKHz > 0) {
                dHighest = std::max(dHighest, dKHz / 1000.0);
                break;
            }
        }
    }
    if (dHighest > 0)
        return dHighest;

    // Without a frequency driver (virtual machines) the kernel's processor
    // information still has the clock it measured at boot.
    const QRegularExpression oMhz(QStringLiteral("^cpu MHz\\s*:\\s*([0-9.]+)"));
    const QList<QByteArray> lLines = readKernelFile(systemPath(QStringLiteral("/proc/cpuinfo"))).split('\n');
    for (const QByteArray& aLine : lLines) {
        const QRegularExpressionMatch oMatch = oMhz.match(QString::fromLatin1(aLine));
        if (oMatch.hasMatch())
            dHighest = std::max(dHighest, oMatch.captured(1).toDouble());
    }
    return dHighest;
}

QList<TGraphicsAdapterInfo> TSystemSurveyValueRetriever::retrieveGraphicsAdapters() const
{
    QList<TGraphicsAdapterInfo> lAdapters;
    const QStringList lCards = numberedEntries(systemPath(QStringLiteral("/sys/class/drm")), QStringLiteral("card"));
    const QStringList lDatabases = {systemPath(QStringLiteral("/usr/share/misc/pci.ids")),
                                    systemPath(QStringLiteral("/usr/share/hwdata/pci.ids"))};
    for (const QString& sCard : lCards) {
        const QString sDevice = sCard + QStringLiteral("/device");
        TGraphicsAdapterInfo oAdapter;
        const bool bPci = parseHexId(readTrimmed(sDevice + QStringLiteral("/vendor")), oAdapter.m_nVendorId)
                       && parseHexId(readTrimmed(sDevice + QStringLiteral("/device")), oAdapter.m_nDeviceId);
        if (!bPci) {
            oAdapter.m_nVendorId = 0;
            oAdapter.m_nDeviceId = 0;
        }
        const QString sDriver = QFileInfo(QFileInfo(sDevice + QStringLiteral("/driver")).symLinkTarget()).fileName();

        for (const QString& sDatabase : lDatabases) {
            if (bPci && oAdapter.m_sDeviceString.isEmpty())
                oAdapter.m_sDeviceString = pciName(sDatabase, oAdapter.m_nVendorId, oAdapter.m_nDeviceId);
        }
        if (oAdapter.m_sDeviceString.isEmpty())
            oAdapter.m_sDeviceString = sDriver;

        bool bOk = false;
        const quint64 nVram = readTrimmed(sDevice + QStringLiteral("/mem_info_vram_total")).toULongLong(&bOk);
        oAdapter.m_nVideoMemorySize = bOk ? nVram : 0;

        // Modules built outside the kernel carry their own version; one built with
        // the kernel is as new as the kernel release.
        if (!sDriver.isEmpty()) {
            oAdapter.m_sDriverVersion = QString::fromUtf8(readTrimmed(sDevice + QStringLiteral("/driver/module/version")));
            if (oAdapter.m_sDriverVersion.isEmpty())
                oAdapter.m_sDriverVersion = QSysInfo::kernelVersion();
        }
        lAdapters.append(oAdapter);
    }
    return lAdapters;
}

} // namespace systemsurvey
