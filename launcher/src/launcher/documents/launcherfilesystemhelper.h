#pragma once

#include "launchersettings.h"

#include "shared/filesystemhelper.h"

#include <QJsonObject>

#include <memory>

namespace shared {
class TBandwidthLimiter;
}

namespace velmar::launcher {

// The file-system service with the launcher's own places: its folder, its
// settings, the packages folder and the account-group file.
class TLauncherFilesystemHelper : public shared::TFileSystemHelper
{
public:
    // The settings come from "launchersettings.ini" in the launcher folder when it
    // exists there, otherwise from the copy compiled into the program.
    explicit TLauncherFilesystemHelper(const QString& sLauncherFolder);
    // Settings from the INI file at sSettingsFile, wherever the launcher folder is.
    TLauncherFilesystemHelper(const QString& sLauncherFolder, const QString& sSettingsFile);
    TLauncherFilesystemHelper();

    const std::shared_ptr<const TLauncherSettings>& settings() const { return m_pSettings; }
    // The one budget of the settings' bandwidth limit that every installation
    // of this launcher shares; null without a limit. For the main thread.
    const std::shared_ptr<shared::TBandwidthLimiter>& bandwidthLimiter() const { return m_pBandwidthLimiter; }
    const QString& launcherFolder() const { return m_sLauncherFolder; }

    // Created when missing; a `packages` value that climbs out of the launcher
    // folder is cut back to its last component.
    QDir packagesFolder();
    // What the launcher keeps in its own folder besides its program files, as
    // paths relative to that folder: the packages folder, the settings, the log
    // and the local metadata copy. The launcher's own package may not touch them.
    QStringList launcherOwnData() const;
    void writeFileCreatingFolder(const QString& sPath, const QByteArray& aData);

    bool accountGroupFilePresent();
    QJsonObject readAccountGroup();
    const QString& accountGroupTargetPath() const { return m_sAccountGroupTargetPath; }
    const QString& accountGroupFileName() const { return m_sAccountGroupFileName; }

private:
    QString m_sLauncherFolder;
    std::shared_ptr<const TLauncherSettings> m_pSettings;
    std::shared_ptr<shared::TBandwidthLimiter> m_pBandwidthLimiter;
    QString m_sAccountGroupFilePath;
    QString m_sAccountGroupTargetPath;
    QString m_sAccountGroupFileName;
};

} // namespace velmar::launcher
