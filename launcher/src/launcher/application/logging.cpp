#include "logging.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace velmar::launcher {

namespace {

QMutex g_oLogMutex;
std::shared_ptr<QFile> g_pLogFile;

const char* levelPattern(QtMsgType eType)
{
    switch (eType) {
    case QtDebugMsg: return "Debug: %1";
    case QtInfoMsg: return "Info: %1";
    case QtWarningMsg: return "Warning: %1";
    case QtCriticalMsg: return "Critical: %1";
    case QtFatalMsg: return "Fatal: %1";
    }
    return "%1";
}

std::shared_ptr<QFile> openLogFile(const QString& sDirectory, const QString& sExecutableFileName)
{
    if (!QDir(sDirectory).exists() && !QDir().mkpath(sDirectory))
        throw std::runtime_error("Failed to create subdirectory.");
    auto pFile = std::make_shared<QFile>(
        QDir::cleanPath(sDirectory + QLatin1Char('/') + sExecutableFileName + QStringLiteral(".log")));
    if (!pFile->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        throw std::runtime_error(pFile->errorString().toStdString());
    return pFile;
}

} // namespace

QString formatLogLine(QtMsgType eType, const QMessageLogContext& oContext, const QString& sMessage)
{
    const QString sLocation = QStringLiteral("(%1:%2)")
                                  .arg(oContext.file ? QString::fromUtf8(oContext.file) : QString())
                                  .arg(oContext.line);
    return QStringLiteral("%1 %2 %3")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), sLocation,
             QString::fromLatin1(levelPattern(eType)).arg(sMessage));
}

void messageHandler(QtMsgType eType, const QMessageLogContext& oContext, const QString& sMessage)
{
    {
        QMutexLocker oLock(&g_oLogMutex);
        if (g_pLogFile) {
            const QByteArray aLine = formatLogLine(eType, oContext, sMessage).toUtf8() + '\n';
            g_pLogFile->write(aLine);
            g_pLogFile->flush();
        }
    }
    if (eType == QtFatalMsg)
        std::abort();
}

void setupLogging(const QString& sDirectory, const QString& sExecutableFileName)
{
    try {
        auto pFile = openLogFile(sDirectory, sExecutableFileName);
        {
            QMutexLocker oLock(&g_oLogMutex);
            g_pLogFile = std::move(pFile);
        }
        qInstallMessageHandler(messageHandler);
    } catch (const std::exception& oError) {
        qWarning() << "couldn't setup logging. exception: " << oError.what();
    } catch (...) {
        qWarning() << "couldn't setup logging";
    }
}

void stopLogging()
{
    qInstallMessageHandler(nullptr);
    QMutexLocker oLock(&g_oLogMutex);
    g_pLogFile.reset();
}

QString logFilePath()
{
    QMutexLocker oLock(&g_oLogMutex);
    return g_pLogFile ? g_pLogFile->fileName() : QString();
}

} // namespace velmar::launcher
