#include "launchersettings.h"

#include "shared/inifile.h"

#include <algorithm>

namespace velmar::launcher {

namespace {

// Reads the keys of one INI section. A key that is absent takes its default; a
// present one converts as text does: a malformed number gives 0, and only
// "false", "0" and "" are false.
class TSection
{
public:
    TSection(const shared::TIniFile& oFile, const QString& sGroup) : m_oFile(oFile), m_sGroup(sGroup) {}

    QUrl url(const char* pKey) const { return QUrl(text(pKey)); }
    QString text(const char* pKey) const { return m_oFile.value(m_sGroup, QLatin1String(pKey)); }
    bool flag(const char* pKey, bool bDefault) const
    {
        const QString sValue = m_oFile.value(m_sGroup, QLatin1String(pKey));
        if (sValue.isNull())
            return bDefault;
        return !(sValue.isEmpty() || sValue == QLatin1String("0") || sValue.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
    }
    int number(const char* pKey, int nDefault) const
    {
        const QString sValue = m_oFile.value(m_sGroup, QLatin1String(pKey));
        return sValue.isNull() ? nDefault : sValue.toInt();
    }

private:
    const shared::TIniFile& m_oFile;
    QString m_sGroup;
};

} // namespace

TLauncherSettings::TLauncherSettings(const QString& sIniPath)
{
    const shared::TIniFile oSettings(sIniPath);
    {
        TSection oUrls(oSettings, QStringLiteral("URLS"));
        m_oLauncherConfiguration = oUrls.url("launcherConfiguration");
        m_oCdnDiagnosticsTrace = oUrls.url("cdnDiagnosticsTrace");
        m_bAppendNocacheToPackageUrls = oUrls.flag("appendNocacheToPackageUrls", false);
        m_oSignedLauncherConfiguration = oUrls.url("signedLauncherConfiguration");
    }
    {
        TSection oSigning(oSettings, QStringLiteral("SIGNING"));
        m_sTrustedKeys = oSigning.text("trustedKeys");
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
        m_nMinimumTransferRate = oTiming.number("minimumTransferRate", 1024);
        m_nMetadataRefreshInterval = std::max<qint64>(oTiming.number("metadataRefreshInterval", 900), 0);
    }
    {
        TSection oOptions(oSettings, QStringLiteral("OPTIONS"));
        m_bFastScan = oOptions.flag("fastScan", true);
        m_bSkipVerification = oOptions.flag("skipVerification", true);
        m_nMaxCachedChunks = oOptions.number("maxCachedChunks", 100);
        m_nMaxConcurrentDownloads = oOptions.number("maxConcurrentDownloads", 10);
        m_nBandwidthLimit = std::max<qint64>(oOptions.number("bandwidthLimit", 0), 0);
    }
    {
        TSection oDebug(oSettings, QStringLiteral("DEBUG"));
        m_bChunkVerification = oDebug.flag("chunkVerification", false);
    }
}

} // namespace velmar::launcher
