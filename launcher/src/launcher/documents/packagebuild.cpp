#include "packagebuild.h"

#include <QSysInfo>

namespace velmar::launcher {

TPackageBuild::TPackageBuild(EOperatingSystem eOperatingSystem, EArchitecture eArchitecture,
                             QUrl oPackageConfigurationUrl, QUrl oAssetConfigurationUrl)
    : m_eOperatingSystem(eOperatingSystem)
    , m_eArchitecture(eArchitecture)
    , m_oPackageConfigurationUrl(std::move(oPackageConfigurationUrl))
    , m_oAssetConfigurationUrl(std::move(oAssetConfigurationUrl))
{
}

void TPackageBuild::setConfiguration(std::shared_ptr<const TPackageConfigurationReader> pConfiguration)
{
    m_pConfiguration = std::move(pConfiguration);
}

EOperatingSystem operatingSystemFromText(const QString& sText)
{
    if (sText.compare(QLatin1String("windows"), Qt::CaseInsensitive) == 0)
        return Windows;
    if (sText.compare(QLatin1String("macos"), Qt::CaseInsensitive) == 0)
        return MacOs;
    if (sText.compare(QLatin1String("linux"), Qt::CaseInsensitive) == 0)
        return Linux;
    return UnknownOperatingSystem;
}

EArchitecture architectureFromText(const QString& sText)
{
    if (sText.compare(QLatin1String("i386"), Qt::CaseInsensitive) == 0)
        return I386;
    if (sText.compare(QLatin1String("x86_64"), Qt::CaseInsensitive) == 0)
        return X86_64;
    return UnknownArchitecture;
}

EOperatingSystem localOperatingSystem()
{
    const QString sProduct = QSysInfo::productType();
    if (sProduct == QLatin1String("windows"))
        return Windows;
    if (sProduct == QLatin1String("osx") || sProduct == QLatin1String("darwin"))
        return MacOs;
    if (QSysInfo::kernelType() == QLatin1String("linux"))
        return Linux;
    return UnknownOperatingSystem;
}

EArchitecture localArchitecture()
{
    // The names Qt gives are lower case; the comparison is deliberately exact.
    const QString sArchitecture = QSysInfo::buildCpuArchitecture();
    if (sArchitecture == QLatin1String("i386"))
        return I386;
    if (sArchitecture == QLatin1String("x86_64"))
        return X86_64;
    return UnknownArchitecture;
}

} // namespace velmar::launcher
