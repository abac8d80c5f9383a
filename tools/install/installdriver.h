#pragma once

#include "progressjson.h"
#include "progressline.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

namespace shared {
class TDownloadPool;
class TDownloadHandle;
class TDownloadRetries;
}

namespace velmar::launcher {
class TInstallationManager;
class TLauncherConfigurationHandler;
class TPackageConfigurationReader;
class TTrustedKeys;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageInstallation;
}

// Drives one request of corvane-install through the launcher's own engine:
// fetches the package's documents, hands the package to an installation manager
// and turns its signals into progress lines and an exit code.
class TInstallDriver : public QObject
{
    Q_OBJECT

public:
    enum ECommand
    {
        Install,
        Verify,
    };

    TInstallDriver(ECommand eCommand, QUrl oPackageUrl, QUrl oAssetUrl, const QString& sFolder,
                   std::shared_ptr<velmar::launcher::TLauncherFilesystemHelper> pFilesystemHelper);
    ~TInstallDriver() override;

    // Progress and outcome as JSON lines on standard output instead of the progress line.
    void setJsonProgress() { m_pJson = std::make_unique<TProgressJson>(); }
    // Mirrors of the package document's folder from the command line, after those the metadata names.
    void setMirrors(const QStringList& lMirrors) { m_lMirrors = lMirrors; }
    // Starts the work; the application's event loop ends with the exit code.
    void start();
    // Instead of start(): the documents of package sPackage of the metadata that
    // pMetadataHelper's settings name, read and checked as the launcher reads
    // them, with oKeys trusted besides the built-in keys and the serial floor in
    // sStateFile (the per-user state when empty).
    void startFromMetadata(const QString& sPackage, std::shared_ptr<velmar::launcher::TLauncherFilesystemHelper> pMetadataHelper,
                           const velmar::launcher::TTrustedKeys& oKeys, const QString& sStateFile);
    // Ends the run at once with exit code 128 + nSignal. The engine's markers
    // describe the folder truthfully at any moment, so the next run resumes.
    void interrupt(int nSignal);

private:
    void createDocumentPool();
    void onDocumentsReceived();
    void onMetadataLoaded();
    void onMetadataDocumentsReceived();
    void proceed(std::shared_ptr<const velmar::launcher::TPackageConfigurationReader> pConfiguration);
    void onStarted(const std::shared_ptr<velmar::launcher::TPackageInstallation>& pInstallation);
    void onFinished(const std::shared_ptr<velmar::launcher::TPackageInstallation>& pInstallation);
    void fail(const QString& sMessage);
    void progress(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal);

    ECommand m_eCommand;
    QUrl m_oPackageUrl;
    QUrl m_oAssetUrl;
    QString m_sFolder;
    std::shared_ptr<velmar::launcher::TLauncherFilesystemHelper> m_pFilesystemHelper;
    std::shared_ptr<shared::TDownloadPool> m_pDocumentPool;
    std::unique_ptr<shared::TDownloadHandle> m_pDocuments;
    std::unique_ptr<shared::TDownloadRetries> m_pDocumentRetries;
    QByteArray m_aPackageDocument;
    QByteArray m_aAssetDocument;
    int m_nDocumentsMissing = 0;
    std::shared_ptr<velmar::launcher::TPackage> m_pPackage;
    QString m_sPackageName;
    QStringList m_lMirrors;
    // The mirrors the metadata names for the package's build.
    std::vector<QUrl> m_lMetadataMirrors;
    std::unique_ptr<velmar::launcher::TLauncherConfigurationHandler> m_pConfigurationHandler;
    std::unique_ptr<velmar::launcher::TInstallationManager> m_pManager;
    TProgressLine m_oProgress;
    std::unique_ptr<TProgressJson> m_pJson;
    bool m_bDone = false;
};
