#pragma once

#include "launcherconfigurationreader.h"
#include "launcherfilesystemhelper.h"

#include "shared/hint.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

namespace shared {
class TDownloadHandle;
class TDownloadPool;
class TDownloadRetries;
}

namespace velmar::launcher {

// Obtains the remote configuration: the launcher metadata, the package and
// asset documents of every package's build for this platform, and the hints.
// It keeps a local copy of the metadata ("launchermetadata.json" in the
// launcher folder) and falls back to it when the network fails or is slower
// than the error timer; in that offline mode the package documents come from
// the copies inside the installed clients. A failure that may pass (a server
// error, a reset, a time-out) is tried again as a chunk would be; the
// metadata's attempts end with the error timer. Only the first outcome of a
// metadata load counts. Lives on the main thread; results are signals.
class TLauncherConfigurationHandler : public QObject
{
    Q_OBJECT

public:
    TLauncherConfigurationHandler(std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                                  std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                  QObject* pParent = nullptr);
    ~TLauncherConfigurationHandler() override;

    // Clears the offline flag, starts the error timer and asks for the metadata.
    void startLoadingMainConfiguration();
    // After mainConfigurationLoaded(): requests the documents of every package's
    // build for this platform; packageConfigurationDownloadsFinished() follows
    // once each has a configuration or failed.
    void downloadPackageConfigurations();
    // After mainConfigurationLoaded(): asks for the metadata's hints document,
    // when it names one; hintsAreaDataReceived() follows its arrival.
    void downloadHints();

    const std::shared_ptr<TLauncherConfigurationReader>& launcherConfiguration() const { return m_pReader; }
    bool isOffline() const { return m_bOffline; }
    const std::optional<shared::THint>& currentHint() const { return m_oCurrentHint; }
    const std::vector<shared::THint>& hints() const { return m_lHints; }
    QString localCopyPath() const;

signals:
    void mainConfigurationLoaded();
    void mainConfigurationDownloadFailed();
    void diskAccessFailed(QString ErrorMessage);
    void packageConfigurationDownloadsFinished();
    void hintAreaDataReceived(const shared::THint& Hint);
    void hintsAreaDataReceived(std::vector<shared::THint> Hints);

public slots:
    void onConfigurationDownloadFinished(const QUrl& url, const QByteArray& Data);
    void onConfigurationDownloadFailed(const QUrl& url, QNetworkReply::NetworkError Code, const QString& ErrorString);
    void onErrorTimerExpired();

private:
    struct TConfigurationRequest
    {
        // Holds the package, and so its build below, until the request ends.
        std::shared_ptr<TPackage> m_pPackage;
        TPackageBuild* m_pBuild = nullptr;
        QUrl m_oPackageUrl;
        QUrl m_oAssetUrl;
        QByteArray m_aPackageData;
        QByteArray m_aAssetData;

        bool isComplete() const;
        bool uses(const QUrl& oUrl) const;
    };

    bool isWaitingForMainConfiguration() const;
    void loadMainConfiguration(const QByteArray& aData);
    void fallBackToLocalCopy();
    void writeLocalCopy(const QByteArray& aData);
    void receiveHints(const QByteArray& aData);
    void receivePackageDocument(const QUrl& oUrl, const QByteArray& aData);
    void addRequest(const std::shared_ptr<TPackage>& pPackage, TPackageBuild* pBuild, QUrl oPackageUrl, QUrl oAssetUrl);
    QUrl onlineUrl(const QUrl& oUrl) const;

    std::unique_ptr<shared::TDownloadHandle> m_pDownloads;
    std::unique_ptr<shared::TDownloadRetries> m_pRetries;
    std::shared_ptr<TLauncherFilesystemHelper> m_pFilesystemHelper;
    QUrl m_oMainConfigurationUrl;
    QTimer m_oErrorTimer;
    std::shared_ptr<TLauncherConfigurationReader> m_pReader;
    bool m_bOffline = false;
    std::optional<shared::THint> m_oCurrentHint;
    std::vector<shared::THint> m_lHints;
    std::vector<TConfigurationRequest> m_lRequests;
};

} // namespace velmar::launcher
