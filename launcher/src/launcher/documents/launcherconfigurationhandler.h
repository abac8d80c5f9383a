#pragma once

#include "launcherconfigurationreader.h"
#include "launcherfilesystemhelper.h"
#include "metadatatrust.h"

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

class TMetadataRefresh;

// Obtains the remote configuration: the launcher metadata, the package and
// asset documents of every package's build for this platform, and the hints.
// It keeps a local copy of the metadata ("launchermetadata.json" in the
// launcher folder) and falls back to it when the network fails or is slower
// than the error timer; in that offline mode the package documents come from
// the copies inside the installed clients. With trusted keys, the metadata
// comes from its signed envelope only, checked before anything in it is read,
// the local copy is kept with its envelope and checked again when it serves,
// and each package and asset document must match what the signed metadata
// pins for it. A failure that may pass (a server
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
    // sStateFile keeps the serial floor of signed metadata; empty for the player's own state.
    TLauncherConfigurationHandler(std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                                  std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper,
                                  const TTrustedKeys& oExtraKeys, const QString& sStateFile, QObject* pParent = nullptr);
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
    QString localEnvelopePath() const;
    bool isCheckingSignatures() const { return m_oTrust.isChecking(); }
    // The refresh while the window is open, under the same trust and serial floor
    // as the start-up load but with none of its signals.
    TMetadataRefresh& refresh() const { return *m_pRefresh; }
    // Why the metadata could not be had, in words that tell the player's own
    // network from the service ("Could not connect to HOST: connection
    // refused"); empty while the load has not failed.
    const QString& failureReason() const { return m_sFailureReason; }

signals:
    void mainConfigurationLoaded();
    void mainConfigurationDownloadFailed();
    // Signed metadata was required and none could be trusted, for the reason given.
    void mainConfigurationRefused(QString Reason);
    void diskAccessFailed(QString ErrorMessage);
    void packageConfigurationDownloadsFinished();
    void hintAreaDataReceived(const shared::THint& Hint);
    void hintsAreaDataReceived(std::vector<shared::THint> Hints);

public slots:
    void onConfigurationDownloadFinished(const QUrl& url, const QByteArray& Data);
    void onConfigurationDownloadFailed(const QUrl& url, QNetworkReply::NetworkError Code, const QString& ErrorString);
    void onErrorTimerExpired();
    void onDownloadProgress(const QUrl& url, qint64 BytesReceived);

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
        // Held while the envelope is fetched again, because a document did not match its pin.
        bool m_bAwaitingEnvelope = false;
        // The newer signed metadata fetched again pins these documents.
        bool m_bPinsMatched = false;

        bool isComplete() const;
        bool uses(const QUrl& oUrl) const;
    };

    bool isWaitingForMainConfiguration() const;
    const QUrl& mainFetchUrl() const;
    // The downloaded metadata read; null once its failure has been handled.
    std::shared_ptr<TLauncherConfigurationReader> readDownloaded(const QByteArray& aData);
    void loadMainConfiguration(const QByteArray& aData);
    void loadSignedConfiguration(const QByteArray& aEnvelope);
    void fallBackToLocalCopy();
    void fallBackToSignedLocalCopy();
    void refuse(const QString& sReason);
    quint64 localCopySerial() const;
    void writeLocalCopy(const QByteArray& aData, const QByteArray& aEnvelope = QByteArray());
    void configureCompleteRequests();
    QString pinMismatch(const TConfigurationRequest& oRequest, const TPackageBuild& oBuild) const;
    void receiveRefetchedEnvelope(const QByteArray& aEnvelope);
    // The most bytes any request for the document may receive: its largest pin.
    qint64 pinnedSizeLimit(const QUrl& oUrl) const;
    // Stops a transfer that has gone past what it may be.
    void abortDownload(const QUrl& oUrl);
    void receiveHints(const QByteArray& aData);
    void receivePackageDocument(const QUrl& oUrl, const QByteArray& aData);
    void addRequest(const std::shared_ptr<TPackage>& pPackage, TPackageBuild* pBuild, QUrl oPackageUrl, QUrl oAssetUrl);
    QUrl onlineUrl(const QUrl& oUrl) const;
    // The failure of a metadata download in the player's words.
    QString downloadFailureText(QNetworkReply::NetworkError eCode, const QString& sErrorString) const;
    // The metadata's server as the player may know it: host, and port when one is given.
    QString serverName() const;

    std::unique_ptr<shared::TDownloadHandle> m_pDownloads;
    std::unique_ptr<shared::TDownloadRetries> m_pRetries;
    std::shared_ptr<TLauncherFilesystemHelper> m_pFilesystemHelper;
    QUrl m_oMainConfigurationUrl;
    TMetadataTrust m_oTrust;
    // Why the signed metadata was refused, for the box when nothing else serves.
    QString m_sRefusal;
    QString m_sFailureReason;
    enum class EEnvelopeRefetch { NotYet, Running, Done } m_eRefetch = EEnvelopeRefetch::NotYet;
    QTimer m_oErrorTimer;
    std::shared_ptr<TLauncherConfigurationReader> m_pReader;
    bool m_bOffline = false;
    std::optional<shared::THint> m_oCurrentHint;
    std::vector<shared::THint> m_lHints;
    std::vector<TConfigurationRequest> m_lRequests;
    std::unique_ptr<TMetadataRefresh> m_pRefresh;
};

} // namespace velmar::launcher
