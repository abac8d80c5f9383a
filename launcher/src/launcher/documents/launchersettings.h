#pragma once

#include <QString>
#include <QUrl>
#include <QtGlobal>

namespace velmar::launcher {

// The launcher's local configuration, read once from one INI file and never
// written back. A key the file lacks takes the code default, never a value of
// another file: an on-disk file replaces the embedded one as a whole.
class TLauncherSettings
{
public:
    explicit TLauncherSettings(const QString& sIniPath);

    const QUrl& launcherConfiguration() const { return m_oLauncherConfiguration; }
    const QUrl& cdnDiagnosticsTrace() const { return m_oCdnDiagnosticsTrace; }
    bool appendNocacheToPackageUrls() const { return m_bAppendNocacheToPackageUrls; }
    // Where the signed metadata lies when not beside the metadata; empty for beside it.
    const QUrl& signedLauncherConfiguration() const { return m_oSignedLauncherConfiguration; }
    // Publisher keys trusted besides the built-in ones, as keygen prints them.
    const QString& trustedKeys() const { return m_sTrustedKeys; }
    const QString& packages() const { return m_sPackages; }
    const QString& settingsTarget() const { return m_sSettingsTarget; }
    const QString& packageFile() const { return m_sPackageFile; }
    const QString& partialPackageFile() const { return m_sPartialPackageFile; }
    const QString& assetFile() const { return m_sAssetFile; }
    const QString& accountGroupFile() const { return m_sAccountGroupFile; }
    qint64 waitNotificationTimeout() const { return m_nWaitNotificationTimeout; }
    qint64 downloadErrorTimeout() const { return m_nDownloadErrorTimeout; }
    qint64 clientStartTimeout() const { return m_nClientStartTimeout; }
    // Milliseconds without a byte after which a transfer counts as failed; 0: never.
    qint64 stallTimeout() const { return m_nStallTimeout; }
    // Bytes a second a transfer must average over stallTimeout once its first
    // byte has arrived, or it counts as failed; 0: no floor.
    qint64 minimumTransferRate() const { return m_nMinimumTransferRate; }
    // Seconds between refreshes of the metadata while the window is open, and
    // the most a Play may trust an older one; 0: no refresh.
    qint64 metadataRefreshInterval() const { return m_nMetadataRefreshInterval; }
    bool fastScan() const { return m_bFastScan; }
    bool skipVerification() const { return m_bSkipVerification; }
    bool chunkVerification() const { return m_bChunkVerification; }
    int maxCachedChunks() const { return m_nMaxCachedChunks; }
    int maxConcurrentDownloads() const { return m_nMaxConcurrentDownloads; }
    // Bytes a second that all downloads together may take; 0: no limit.
    qint64 bandwidthLimit() const { return m_nBandwidthLimit; }

private:
    QUrl m_oLauncherConfiguration;
    QUrl m_oCdnDiagnosticsTrace;
    bool m_bAppendNocacheToPackageUrls = false;
    QUrl m_oSignedLauncherConfiguration;
    QString m_sTrustedKeys;
    QString m_sPackages;
    QString m_sSettingsTarget;
    QString m_sPackageFile;
    QString m_sPartialPackageFile;
    QString m_sAssetFile;
    QString m_sAccountGroupFile;
    qint64 m_nWaitNotificationTimeout = 0;
    qint64 m_nDownloadErrorTimeout = 0;
    qint64 m_nClientStartTimeout = 0;
    qint64 m_nStallTimeout = 30000;
    qint64 m_nMinimumTransferRate = 1024;
    qint64 m_nMetadataRefreshInterval = 900;
    bool m_bFastScan = true;
    bool m_bSkipVerification = true;
    bool m_bChunkVerification = false;
    int m_nMaxCachedChunks = 100;
    int m_nMaxConcurrentDownloads = 10;
    qint64 m_nBandwidthLimit = 0;
};

} // namespace velmar::launcher
