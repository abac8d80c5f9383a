#pragma once

#include "documentpin.h"
#include "packageconfigurationreader.h"

#include <QUrl>

#include <memory>
#include <vector>

namespace velmar::launcher {

enum EOperatingSystem : qint32
{
    UnknownOperatingSystem = 0,
    Windows = 1,
    MacOs = 2,
    Linux = 3,
};

enum EArchitecture : qint32
{
    UnknownArchitecture = 0,
    I386 = 1,
    X86_64 = 2,
};

// One platform's build of a package: where its two documents are, and, once
// both were received, the configuration read from them.
class TPackageBuild
{
public:
    TPackageBuild(EOperatingSystem eOperatingSystem, EArchitecture eArchitecture, QUrl oPackageConfigurationUrl,
                  QUrl oAssetConfigurationUrl);
    TPackageBuild(const TPackageBuild&) = delete;
    TPackageBuild& operator=(const TPackageBuild&) = delete;

    EOperatingSystem operatingSystem() const { return m_eOperatingSystem; }
    EArchitecture architecture() const { return m_eArchitecture; }
    const QUrl& packageConfigurationUrl() const { return m_oPackageConfigurationUrl; }
    // Empty for a build without assets.
    const QUrl& assetConfigurationUrl() const { return m_oAssetConfigurationUrl; }
    // What signed metadata says the two documents are; absent in unsigned metadata.
    const TDocumentPin& packagePin() const { return m_oPackagePin; }
    const TDocumentPin& assetPin() const { return m_oAssetPin; }
    void setPins(TDocumentPin oPackagePin, TDocumentPin oAssetPin);
    // Base addresses that serve a copy of the package document's folder, tried
    // after it for the chunks listed at relative addresses (see mirrorlist.h).
    const std::vector<QUrl>& mirrors() const { return m_lMirrors; }
    void setMirrors(std::vector<QUrl> lMirrors) { m_lMirrors = std::move(lMirrors); }

    // Null until both documents were received. Shared, so that a reader in use
    // survives being replaced by a newer one.
    const std::shared_ptr<const TPackageConfigurationReader>& configuration() const { return m_pConfiguration; }
    void setConfiguration(std::shared_ptr<const TPackageConfigurationReader> pConfiguration);

private:
    EOperatingSystem m_eOperatingSystem;
    EArchitecture m_eArchitecture;
    QUrl m_oPackageConfigurationUrl;
    QUrl m_oAssetConfigurationUrl;
    TDocumentPin m_oPackagePin;
    TDocumentPin m_oAssetPin;
    std::vector<QUrl> m_lMirrors;
    std::shared_ptr<const TPackageConfigurationReader> m_pConfiguration;
};

// "windows" 1, "macos" 2, "linux" 3 in any letter case; anything else 0.
EOperatingSystem operatingSystemFromText(const QString& sText);
// "i386" 1, "x86_64" 2 in any letter case; anything else 0.
EArchitecture architectureFromText(const QString& sText);
// The platform this launcher was built for.
EOperatingSystem localOperatingSystem();
EArchitecture localArchitecture();

} // namespace velmar::launcher
