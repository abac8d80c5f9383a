#include "launchersettings.h"

#include <QSettings>

namespace velmar::launcher {

namespace {

// Reads the keys of one INI section; every conversion is QVariant's ordinary one,
// so a malformed number gives 0 and only "false", "0" and "" are false.
class TSection
{
public:
    TSection(QSettings& oSettings, const QString& sGroup) : m_oSettings(oSettings) { m_oSettings.beginGroup(sGroup); }
    ~TSection() { m_oSettings.endGroup(); }
    TSection(const TSection&) = delete;
    TSection& operator=(const TSection&) = delete;

    QUrl url(const char* pKey) const { return QUrl(m_oSettings.value(QLatin1String(pKey)).toString()); }
    QString text(const char* pKey) const { return m_oSettings.value(QLatin1String(pKey)).toString(); }
    bool flag(const char* pKey, bool bDefault) const { return m_oSettings.value(QLatin1String(pKey), bDefault).toBool(); }
    int number(const char* pKey, int nDefault) const { return m_oSettings.value(QLatin1String(pKey), nDefault).toInt(); }

private:
    QSettings& m_oSettings;
};

} // namespace

TLauncherSettings::TLauncherSettings(const QString& sIniPath)
{
    QSettings oSettings(sIniPath, QSettings::IniFormat);
    {
        TSection oUrls(oSettings, QStringLiteral("URLS"));
        m_oLauncherConfiguration = oUrls.url("launcherConfiguration");
        m_oCdnDiagnosticsTrace = oUrls.url("cdnDiagnosticsTrace");
        m_bAppendNocacheToPackageUrls = oUrls.flag("appendNocacheToPackageUrls", false);
    }
    {
        TSection oDirectories(oSettings, QStringLiteral("DIRECTORIES"));
        m_sPackages = oDirectories.text("packages");
        m_sSettingsTarget = oDirectories.text("settingsTarget");
    }
    {
        TSection oFiles(oSettings, QStringLiteral("FILES"));
        m_sPackageFile = oFiles.text("packageFile");
        m_sPartialPackageFile = oFiles.text("partialPackageFile");
        m_sAssetFile = oFiles.text("assetFile");
        m_sAccountGroupFile = oFiles.text("accountGroupFile");
    }
    {
        TSection oTiming(oSettings, QStringLiteral("TIMING"));
        m_nWaitNotificationTimeout = oTiming.number("waitNotificationTimeout", 0);
        m_nDownloadErrorTimeout = oTiming.number("downloadErrorTimeout", 0);
        m_nClientStartTimeout = oTiming.number("clientStartTimeout", 0);
        m_nStallTimeout = oTiming.number("stallTimeout", 30000);
    }
    {
        TSection oOptions(oSettings, QStringLiteral("OPTIONS"));
        m_bFastScan = oOptions.flag("fastScan", true);
        m_bSkipVerification = oOptions.flag("skipVerification", true);
        m_nMaxCachedChunks = oOptions.number("maxCachedChunks", 100);
        m_nMaxConcurrentDownloads = oOptions.number("maxConcurrentDownloads", 10);
    }
    {
        TSection oDebug(oSettings, QStringLiteral("DEBUG"));
        m_bChunkVerification = oDebug.flag("chunkVerification", false);
    }
}

} // namespace velmar::launcher
