#pragma once

#include "metadatatrust.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace shared {
class TDownloadHandle;
class TDownloadPool;
}

namespace velmar::launcher {

class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageConfigurationReader;

// Fetches the metadata and the package documents again while the window is open,
// apart from the start-up load: none of its signals, no local copy written, no
// serial kept. Only the builds of packages the running metadata already lists
// get new documents; a new package or launcher version waits for the next start.
// Nothing changes until every document has arrived and passed, so a refresh
// that fails anywhere leaves every package as it was.
class TMetadataRefresh : public QObject
{
    Q_OBJECT

public:
    // The trust and the serial floor are the start-up load's own, read on each refresh.
    TMetadataRefresh(std::shared_ptr<shared::TDownloadPool> pDownloadPool,
                     std::shared_ptr<TLauncherFilesystemHelper> pFilesystemHelper, const TMetadataTrust& oTrust,
                     std::function<quint64()> fnSerialFloor, QObject* pParent = nullptr);
    ~TMetadataRefresh() override;

    // Refreshes the packages of pRunning for which fnLeaveAlone answers false,
    // asked again just before they change; finished() follows. Does nothing while
    // a refresh runs.
    void start(std::shared_ptr<TLauncherConfigurationReader> pRunning,
               std::function<bool(const TPackage&)> fnLeaveAlone);
    bool isRunning() const { return m_bRunning; }

signals:
    // The packages whose documents were replaced; on failure none, and why.
    void finished(bool Succeeded, QString Problem, std::vector<std::shared_ptr<velmar::launcher::TPackage>> Refreshed);

private:
    struct TRequest
    {
        std::shared_ptr<TPackage> m_pPackage;
        // The same package in the fetched metadata: its addresses and pins.
        std::shared_ptr<TPackage> m_pFetched;
        QUrl m_oPackageUrl;
        QUrl m_oAssetUrl;
        QByteArray m_aPackageData;
        QByteArray m_aAssetData;

        bool isComplete() const;
    };

    const QUrl& fetchUrl() const;
    void onSuccess(const QUrl& oUrl, const QByteArray& aData);
    void onFailed(const QUrl& oUrl, QNetworkReply::NetworkError eCode, const QString& sError);
    void receiveMetadata(const QByteArray& aData);
    void finishIfComplete();
    void fail(const QString& sProblem);
    void end(bool bSucceeded, const QString& sProblem, std::vector<std::shared_ptr<TPackage>> lRefreshed);
    QUrl onlineUrl(const QUrl& oUrl) const;

    std::unique_ptr<shared::TDownloadHandle> m_pDownloads;
    std::shared_ptr<TLauncherFilesystemHelper> m_pFilesystemHelper;
    const TMetadataTrust& m_oTrust;
    std::function<quint64()> m_fnSerialFloor;
    QUrl m_oMetadataUrl;
    std::shared_ptr<TLauncherConfigurationReader> m_pRunning;
    std::shared_ptr<TLauncherConfigurationReader> m_pFetched;
    std::function<bool(const TPackage&)> m_fnLeaveAlone;
    std::vector<TRequest> m_lRequests;
    bool m_bRunning = false;
    bool m_bMetadataReceived = false;
};

} // namespace velmar::launcher

Q_DECLARE_METATYPE(std::vector<std::shared_ptr<velmar::launcher::TPackage>>)
