#include "package.h"

#include "configurationurl.h"
#include "jsonfields.h"
#include "launcherconfigurationreader.h"
#include "mirrorlist.h"

#include <QJsonArray>

namespace velmar::launcher {

TPackage::TPackage(qint32 nIndex, const QJsonObject& oPackage, const TLauncherConfigurationReader& oReader)
    : m_nIndex(nIndex)
    , m_sName(jsonText(oPackage.value(QLatin1String("name"))))
    , m_sDirectoryName(jsonText(oPackage.value(QLatin1String("directoryname"))))
    , m_bInstallAutomatically(jsonBool(oPackage.value(QLatin1String("installautomatically")), false))
{
    if (oPackage.contains(QLatin1String("logolinktarget")))
        m_oLogoLinkTarget = QUrl(jsonText(oPackage.value(QLatin1String("logolinktarget"))));

    const QJsonValue oBuilds = oPackage.value(QLatin1String("builds"));
    if (!oBuilds.isArray())
        return;
    const QUrl oBase = oReader.baseUrl();
    QUrl oBaseWithoutQuery = oBase;
    oBaseWithoutQuery.setQuery(QString());
    for (const QJsonValue oBuildValue : oBuilds.toArray()) {
        const QJsonObject oBuild = oBuildValue.toObject();
        const QJsonValue oUrl = oBuild.value(QLatin1String("url"));
        // An empty or mistyped asset address means no asset document: resolved,
        // it would name the metadata's own folder.
        const QString sAssetsUrl = jsonText(oBuild.value(QLatin1String("assetsurl")));
        m_lBuilds.push_back(std::make_unique<TPackageBuild>(
            operatingSystemFromText(jsonText(oBuild.value(QLatin1String("os")))),
            architectureFromText(jsonText(oBuild.value(QLatin1String("architecture")))),
            oUrl.isUndefined() ? oBaseWithoutQuery : resolveAgainstBase(oBase, jsonText(oUrl)),
            sAssetsUrl.isEmpty() ? QUrl() : resolveAgainstBase(oBase, sAssetsUrl)));
        m_lBuilds.back()->setPins(TDocumentPin::fromJson(oBuild, QStringLiteral("package")),
                                  TDocumentPin::fromJson(oBuild, QStringLiteral("assets")));
        m_lBuilds.back()->setMirrors(
            readMirrors(oBuild.value(QLatin1String("mirrors")), m_lBuilds.back()->packageConfigurationUrl()));
    }
}

TPackage::TPackage(const QString& sDirectoryName, QUrl oPackageUrl, QUrl oAssetUrl,
                   std::shared_ptr<const TPackageConfigurationReader> pConfiguration)
    : m_nIndex(0), m_sName(sDirectoryName), m_sDirectoryName(sDirectoryName)
{
    auto pBuild = std::make_unique<TPackageBuild>(localOperatingSystem(), localArchitecture(), std::move(oPackageUrl),
                                                  std::move(oAssetUrl));
    pBuild->setConfiguration(std::move(pConfiguration));
    m_lBuilds.push_back(std::move(pBuild));
}

TPackage::~TPackage() = default;

TPackageBuild* TPackage::platformBuild() const
{
    return buildFor(localOperatingSystem(), localArchitecture());
}

std::shared_ptr<const TPackageConfigurationReader> TPackage::platformConfiguration() const
{
    const TPackageBuild* pBuild = platformBuild();
    return pBuild ? pBuild->configuration() : nullptr;
}

TPackageBuild* TPackage::buildFor(EOperatingSystem eOperatingSystem, EArchitecture eArchitecture) const
{
    for (const auto& pBuild : m_lBuilds) {
        if (pBuild->operatingSystem() == eOperatingSystem && pBuild->architecture() == eArchitecture)
            return pBuild.get();
    }
    return nullptr;
}

void TPackage::setDefault(bool bDefault)
{
    if (bDefault == m_bDefault)
        return;
    m_bDefault = bDefault;
    emit defaultChanged();
}

void TPackage::setLocalPackageStatus(ELocalPackageStatus eStatus)
{
    m_eLocalPackageStatus = eStatus;
    emit localPackageStatusChanged();
}

} // namespace velmar::launcher
