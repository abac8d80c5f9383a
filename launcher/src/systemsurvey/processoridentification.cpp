#include "processoridentification.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace systemsurvey {

namespace {

constexpr quint32 kExtendedBase = 0x80000000u;
constexpr quint32 kExtendedFeatures = 0x80000001u;
constexpr quint32 kBrandFirst = 0x80000002u;
constexpr quint32 kBrandLast = 0x80000004u;

void appendRegister(QByteArray& aText, quint32 nRegister)
{
    for (int nByte = 0; nByte < 4; ++nByte)
        aText.append(static_cast<char>((nRegister >> (8 * nByte)) & 0xFFu));
}

bool bit(quint32 nRegister, int nBit)
{
    return ((nRegister >> nBit) & 1u) != 0;
}

} // namespace

QString TProcessorIdentification::manufacturerForVendor(const QByteArray& aVendorText)
{
    struct TVendor
    {
        const char* m_pText;
        const char* m_pManufacturer;
    };
    static const TVendor kVendors[] = {
        {"AMDisbetter!", "AMD"},
        {"AuthenticAMD", "AMD"},
        {"CentaurHauls", "Centaur"},
        {"CyrixInstead", "Cyrix"},
        {"GenuineIntel", "Intel"},
        {"TransmetaCPU", "Transmeta"},
        {"GenuineTMx86", "Transmeta"},
        {"Geode by NSC", "National Semiconductor"},
        {"NexGenDriven", "NexGen"},
        {"RiseRiseRise", "Rise"},
        {"SiS SiS SiS ", "SiS"},
        {"UMC UMC UMC ", "UMC"},
        {"VIA VIA VIA ", "VIA"},
        {"Vortex86 SoC", " Vortex"},
        {"KVMKVMKVMKVM", "KVM"},
        {"Microsoft Hv", "Microsoft Hyper-V or Windows Virtual PC"},
        {"VMwareVMware", "VMware"},
        {"XenVMMXenVMM", " Xen HVM"},
    };
    for (const TVendor& oVendor : kVendors) {
        if (aVendorText == QByteArray(oVendor.m_pText))
            return QString::fromLatin1(oVendor.m_pManufacturer);
    }
    return QStringLiteral("Unknown Manufacturer");
}

TProcessorInfo TProcessorIdentification::identify(const TCpuidFunction& fnCpuid)
{
    TProcessorInfo oInfo;

    const TCpuidRegisters oLeaf0 = fnCpuid(0);
    QByteArray aVendor;
    appendRegister(aVendor, oLeaf0.m_nEbx);
    appendRegister(aVendor, oLeaf0.m_nEdx);
    appendRegister(aVendor, oLeaf0.m_nEcx);
    oInfo.m_sManufacturer = manufacturerForVendor(aVendor);

    if (oLeaf0.m_nEax >= 1) {
        const TCpuidRegisters oLeaf1 = fnCpuid(1);
        oInfo.m_bSse = bit(oLeaf1.m_nEdx, 25);
        oInfo.m_bSse2 = bit(oLeaf1.m_nEdx, 26);
    }

    const quint32 nHighestExtended = fnCpuid(kExtendedBase).m_nEax;
    if (nHighestExtended >= kExtendedFeatures)
        oInfo.m_b64Bit = bit(fnCpuid(kExtendedFeatures).m_nEdx, 29);

    if (nHighestExtended < kBrandLast) {
        oInfo.m_sBrandName = QStringLiteral("Acquiring Brand Name not supported");
    } else {
        QByteArray aBrand;
        for (quint32 nLeaf = kBrandFirst; nLeaf <= kBrandLast; ++nLeaf) {
            const TCpuidRegisters oLeaf = fnCpuid(nLeaf);
            appendRegister(aBrand, oLeaf.m_nEax);
            appendRegister(aBrand, oLeaf.m_nEbx);
            appendRegister(aBrand, oLeaf.m_nEcx);
            appendRegister(aBrand, oLeaf.m_nEdx);
        }
        // The text is NUL-terminated inside its 48 bytes when it is shorter.
        const int nEnd = aBrand.indexOf('\0');
        if (nEnd >= 0)
            aBrand.truncate(nEnd);
        oInfo.m_sBrandName = QString::fromLatin1(aBrand).simplified();
    }
    return oInfo;
}

TCpuidRegisters TProcessorIdentification::executeCpuid(quint32 nLeaf)
{
    TCpuidRegisters oRegisters;
#if defined(__x86_64__) || defined(__i386__)
    unsigned int nEax = 0, nEbx = 0, nEcx = 0, nEdx = 0;
    __cpuid_count(nLeaf, 0, nEax, nEbx, nEcx, nEdx);
    oRegisters.m_nEax = nEax;
    oRegisters.m_nEbx = nEbx;
    oRegisters.m_nEcx = nEcx;
    oRegisters.m_nEdx = nEdx;
#else
    Q_UNUSED(nLeaf)
#endif
    return oRegisters;
}

} // namespace systemsurvey
