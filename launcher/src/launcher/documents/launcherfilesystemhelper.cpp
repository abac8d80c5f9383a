#include "launcherfilesystemhelper.h"

#include "launcherresources.h"

#include "shared/bandwidthlimiter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QThread>

namespace velmar::launcher {

namespace {
const QString kSettingsFileName = QStringLiteral("launchersettings.ini");
}

TLauncherFilesystemHelper::TLauncherFilesystemHelper() : TLauncherFilesystemHelper(QCoreApplication::applicationDirPath()) {}

TLauncherFilesystemHelper::TLauncherFilesystemHelper(const QString& sLauncherFolder)
    : TLauncherFilesystemHelper(sLauncherFolder, QString())
{
}

TLauncherFilesystemHelper::TLauncherFilesystemHelper(const QString& sLauncherFolder, const QString& sSettingsFile)
    : m_sLauncherFolder(sLauncherFolder)
{
    initLauncherResources();
    QString sSettings = sSettingsFile;
    if (sSettings.isEmpty()) {
        const QString sOnDisk = joinPath({m_sLauncherFolder, kSettingsFileName});
        sSettings = fileExists(sOnDisk) ? sOnDisk : QStringLiteral(":/settings/") + kSettingsFileName;
    }
    m_pSettings = std::make_shared<const TLauncherSettings>(sSettings);
    // The helper may go last on a worker thread; the limiter's timer belongs to this one.
    if (m_pSettings->bandwidthLimit() > 0)
        m_pBandwidthLimiter.reset(new shared::TBandwidthLimiter(m_pSettings->bandwidthLimit()),
                                  [](shared::TBandwidthLimiter* pLimiter) {
                                      if (pLimiter->thread() == QThread::currentThread())
                                          delete pLimiter;
                                      else
                                          pLimiter->deleteLater();
                                  });
    m_sAccountGroupFileName = m_pSettings->accountGroupFile();
    m_sAccountGroupTargetPath = joinPath({m_pSettings->settingsTarget(), m_sAccountGroupFileName});
}

QStringList TLauncherFilesystemHelper::launcherOwnData() const
{
    const QDir oFolder(m_sLauncherFolder);
    return {QDir::cleanPath(oFolder.relativeFilePath(oFolder.absoluteFilePath(m_pSettings->packages()))),
            kSettingsFileName, QFileInfo(QCoreApplication::applicationFilePath()).fileName() + QLatin1String(".log"),
            QStringLiteral("launchermetadata.json"), QStringLiteral("launchermetadata.json.signed")};
}

QDir TLauncherFilesystemHelper::packagesFolder()
{
    return createFolder(pathInsideFolder(QDir(m_sLauncherFolder), m_pSettings->packages()));
}

void TLauncherFilesystemHelper::writeFileCreatingFolder(const QString& sPath, const QByteArray& aData)
{
    createFolder(QFileInfo(sPath).absolutePath());
    writeFile(sPath, aData);
}

bool TLauncherFilesystemHelper::accountGroupFilePresent()
{
    if (m_sAccountGroupFilePath.isEmpty())
        m_sAccountGroupFilePath = joinPath({QDir(m_sLauncherFolder).absolutePath(), m_sAccountGroupFileName});
    return fileExists(m_sAccountGroupFilePath);
}

QJsonObject TLauncherFilesystemHelper::readAccountGroup()
{
    // Callers look for their key only; any object without it counts as "no account group".
    if (!accountGroupFilePresent())
        return QJsonObject{{QStringLiteral("blub"), QStringLiteral("bla")}};

    QFile oFile(m_sAccountGroupFilePath);
    if (!oFile.open(QIODevice::ReadOnly)) {
        qWarning() << "Failed to open file:" << oFile.errorString();
        return QJsonObject{{QStringLiteral("error"), m_sAccountGroupFilePath}};
    }
    QJsonParseError oError;
    const QJsonDocument oDocument = QJsonDocument::fromJson(oFile.readAll(), &oError);
    if (oError.error != QJsonParseError::NoError) {
        qWarning() << "JSON parse error:" << oError.errorString();
        return QJsonObject();
    }
    if (!oDocument.isObject()) {
        qWarning() << "JSON file does not contain a valid JSON object.";
        return QJsonObject();
    }
    return oDocument.object();
}

} // namespace velmar::launcher
