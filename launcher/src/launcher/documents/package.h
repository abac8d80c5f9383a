#pragma once

#include "localpackagestatus.h"
#include "packagebuild.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <vector>

namespace velmar::launcher {

class TLauncherConfigurationReader;

// One entry of the launcher metadata: a client variant (or the launcher itself)
// with one build per platform, installed into its own folder.
class TPackage : public QObject
{
    Q_OBJECT

public:
    // The index of the launcher's own package, never a list position.
    static constexpr qint32 kLauncherIndex = 2147483647;

    // Relative build addresses are resolved against the reader's base URL.
    TPackage(qint32 nIndex, const QJsonObject& oPackage, const TLauncherConfigurationReader& oReader);
    // A package without launcher metadata, named after its folder, with one build
    // for the running platform whose documents, read from the two addresses, are given.
    TPackage(const QString& sDirectoryName, QUrl oPackageUrl, QUrl oAssetUrl,
             std::shared_ptr<const TPackageConfigurationReader> pConfiguration);
    ~TPackage() override;

    qint32 index() const { return m_nIndex; }
    const QString& name() const { return m_sName; }
    // As written: callers keep it inside the packages folder themselves.
    const QString& directoryName() const { return m_sDirectoryName; }
    const QUrl& logoLinkTarget() const { return m_oLogoLinkTarget; }
    bool installAutomatically() const { return m_bInstallAutomatically; }

    bool isUpToDate() const { return m_bUpToDate; }
    void setUpToDate(bool bUpToDate) { m_bUpToDate = bUpToDate; }
    bool isDefault() const { return m_bDefault; }
    // Written by the installation manager alone, with the "default" marker;
    // emits defaultChanged() when the flag changes.
    void setDefault(bool bDefault);

    const std::vector<std::unique_ptr<TPackageBuild>>& builds() const { return m_lBuilds; }
    // The first build for the running launcher's platform, or null.
    TPackageBuild* platformBuild() const;
    // The loaded configuration of that build, or null when there is no build or none was loaded.
    std::shared_ptr<const TPackageConfigurationReader> platformConfiguration() const;
    // The first build for the given platform, or null.
    TPackageBuild* buildFor(EOperatingSystem eOperatingSystem, EArchitecture eArchitecture) const;

    ELocalPackageStatus localPackageStatus() const { return m_eLocalPackageStatus; }
    // Emits localPackageStatusChanged() every time, also for an unchanged status.
    void setLocalPackageStatus(ELocalPackageStatus eStatus);

signals:
    void localPackageStatusChanged();
    void defaultChanged();

private:
    qint32 m_nIndex;
    QString m_sName;
    QString m_sDirectoryName;
    QUrl m_oLogoLinkTarget;
    bool m_bInstallAutomatically = false;
    bool m_bUpToDate = false;
    bool m_bDefault = false;
    std::vector<std::unique_ptr<TPackageBuild>> m_lBuilds;
    ELocalPackageStatus m_eLocalPackageStatus = Unknown;
};

} // namespace velmar::launcher
