#include "clientstart.h"

#include "clientrunningmarker.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cmath>
#include <limits>

namespace velmar::launcher {

TClientStart::TClientStart(qint64 nTimeoutMs, QObject* pParent) : QObject(pParent), m_nTimeoutMs(nTimeoutMs)
{
    m_oPollTimer.setInterval(200);
    connect(&m_oPollTimer, &QTimer::timeout, this, &TClientStart::poll);
}

bool TClientStart::start(const QString& sExecutable, const QStringList& lArguments, std::function<bool()> fnGivenUp)
{
    const QString sWorkingDirectory = QFileInfo(sExecutable).absolutePath();
    qInfo() << "starting" << sExecutable << lArguments << "in" << sWorkingDirectory;
    if (!QProcess::startDetached(sExecutable, lArguments, sWorkingDirectory)) {
        qCritical() << "The client could not be started:" << sExecutable;
        return false;
    }
    m_fnGivenUp = std::move(fnGivenUp);
    m_oStopwatch.start();
    m_oPollTimer.start();
    return true;
}

void TClientStart::poll()
{
    const qint64 nElapsed = m_oStopwatch.elapsed();
    int nExitCode = 1;
    if (isClientRunning()) {
        qInfo() << "client is running";
        nExitCode = 0;
    } else if (nElapsed > m_nTimeoutMs) {
        qWarning() << "the client did not announce itself in time";
    } else if (m_fnGivenUp && m_fnGivenUp()) {
        qInfo() << "client start splash closed by the player";
    } else {
        return;
    }
    m_oPollTimer.stop();
    emit finished(nExitCode);
}

QString clientSettingsRelativePath()
{
    return QStringLiteral("CorvaneOnlineClient_Data/Data/Settings/settings.json");
}

int readGraphicsApi(const QString& sSettingsFile)
{
    QFile oFile(sSettingsFile);
    if (!oFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning() << "Could not open settings file:" << sSettingsFile;
        return 0;
    }
    QJsonParseError oError;
    const QJsonDocument oDocument = QJsonDocument::fromJson(oFile.readAll(), &oError);
    oFile.close();
    if (oError.error != QJsonParseError::NoError) {
        qWarning() << "JSON parse error:" << oError.errorString();
        return 0;
    }
    if (!oDocument.isObject()) {
        qWarning() << "JSON is not an object!";
        return 0;
    }
    const QJsonObject oSettings = oDocument.object();
    if (!oSettings.contains(QLatin1String("GraphicsAPI"))) {
        qWarning() << "GraphicsAPI key not found!";
        return 0;
    }
    // Only a whole number names an interface: "2" or true would pass for one when
    // converted, and a large number would wrap around to one.
    const QJsonValue oValue = oSettings.value(QLatin1String("GraphicsAPI"));
    const double dValue = oValue.toDouble();
    if (!oValue.isDouble() || dValue != std::trunc(dValue) || dValue < std::numeric_limits<int>::min()
        || dValue > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(dValue);
}

QStringList clientArguments(const QStringList& lParameters, int nGraphicsApi, bool bUpToDate)
{
    QStringList lArguments = lParameters;
    switch (nGraphicsApi) {
    case 2:
        lArguments << QStringLiteral("-force-vulkan");
        break;
    case 1:
        lArguments << QStringLiteral("-force-d3d12");
        break;
    default:
        lArguments << QStringLiteral("-force-d3d11");
    }
    if (bUpToDate)
        lArguments << QStringLiteral("--package-is-up-to-date");
    return lArguments;
}

QString clientExecutableProblem(const QString& sPackageName, const QString& sExecutable)
{
    if (sExecutable.isEmpty())
        return QStringLiteral("The package %1 names no program to start.").arg(sPackageName);
    const QFileInfo oInfo(sExecutable);
    if (!oInfo.isFile())
        return QStringLiteral("The client program \"%1\" is missing. Please verify %2.")
            .arg(QDir::toNativeSeparators(sExecutable), sPackageName);
    if (!oInfo.isExecutable())
        return QStringLiteral("The client program \"%1\" cannot be run. Please verify %2.")
            .arg(QDir::toNativeSeparators(sExecutable), sPackageName);
    return QString();
}

} // namespace velmar::launcher
