#include "rcloneremote.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <stdexcept>

namespace {

// rclone's exit codes for "directory not found" and "file not found".
constexpr int kNoSuchFolder = 3;
constexpr int kNoSuchFile = 4;

QString joined(const QString& sFolder, const QString& sRelative)
{
    if (sRelative.isEmpty())
        return sFolder;
    if (sFolder.endsWith(QLatin1Char(':')) || sFolder.endsWith(QLatin1Char('/')))
        return sFolder + sRelative;
    return sFolder + QLatin1Char('/') + sRelative;
}

} // namespace

TRcloneRemote::TRcloneRemote(QString sRemote) : m_sRemote(std::move(sRemote)) {}

bool TRcloneRemote::namesRemote(const QString& sArgument)
{
    if (sArgument.startsWith(QLatin1Char(':')))
        return true;
    static const QRegularExpression oName(QStringLiteral("^[\\w.][\\w. -]*:"));
    return oName.match(sArgument).hasMatch();
}

QString TRcloneRemote::path(const QString& sRelative) const
{
    return joined(m_sRemote, sRelative);
}

TRcloneRemote::TResult TRcloneRemote::run(const QStringList& lArguments) const
{
    const QString sProgram = QStandardPaths::findExecutable(QStringLiteral("rclone"));
    if (sProgram.isEmpty())
        throw std::runtime_error("rclone is not installed (Debian: apt-get install rclone).");
    QProcess oProcess;
    oProcess.start(sProgram, lArguments);
    TResult oResult;
    if (!oProcess.waitForStarted(-1)) {
        oResult.sLastError = oProcess.errorString();
        return oResult;
    }
    oProcess.closeWriteChannel();
    oProcess.waitForFinished(-1);
    oResult.aOut = oProcess.readAllStandardOutput();
    oResult.nExitCode = oProcess.exitStatus() == QProcess::NormalExit ? oProcess.exitCode() : -1;
    // rclone's last line says what went wrong, behind its time stamp.
    static const QRegularExpression oStamp(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d "));
    const QStringList lLines = QString::fromLocal8Bit(oProcess.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lLines.isEmpty())
        oResult.sLastError = QString(lLines.last()).remove(oStamp).trimmed();
    return oResult;
}

void TRcloneRemote::fail(const QString& sWhat, const TResult& oResult) const
{
    QString sReason = oResult.sLastError;
    if (sReason.isEmpty())
        sReason = QStringLiteral("rclone ended with exit code %1").arg(oResult.nExitCode);
    throw std::runtime_error(QStringLiteral("%1: %2").arg(sWhat, sReason).toStdString());
}

TRcloneRemote::TResult TRcloneRemote::runWithList(const QStringList& lRelative, const QStringList& lArguments) const
{
    QTemporaryFile oList;
    if (!oList.open())
        throw std::runtime_error(QStringLiteral("Cannot write a file list: %1").arg(oList.errorString()).toStdString());
    for (const QString& sRelative : lRelative)
        oList.write(sRelative.toUtf8() + '\n');
    if (!oList.flush())
        throw std::runtime_error(QStringLiteral("Cannot write a file list: %1").arg(oList.errorString()).toStdString());
    return run(lArguments + QStringList{QStringLiteral("--files-from-raw"), oList.fileName()});
}

QMap<QString, quint64> TRcloneRemote::listFiles(const QString& sRelative) const
{
    const QString sFolder = path(sRelative);
    const TResult oResult = run({QStringLiteral("lsjson"), QStringLiteral("--recursive"), QStringLiteral("--files-only"),
                                 QStringLiteral("--no-mimetype"), QStringLiteral("--no-modtime"), QStringLiteral("--fast-list"),
                                 sFolder});
    QMap<QString, quint64> hFiles;
    if (oResult.nExitCode == kNoSuchFolder)
        return hFiles;
    if (oResult.nExitCode != 0)
        fail(QStringLiteral("Cannot list %1").arg(sFolder), oResult);
    QJsonParseError oError {};
    const QJsonDocument oListing = QJsonDocument::fromJson(oResult.aOut, &oError);
    if (oError.error != QJsonParseError::NoError || !oListing.isArray())
        throw std::runtime_error(QStringLiteral("rclone listed %1 in a form this tool does not read.").arg(sFolder).toStdString());
    const QString sPrefix = sRelative.isEmpty() ? QString() : sRelative + QLatin1Char('/');
    for (const QJsonValue& oEntry : oListing.array()) {
        const QJsonObject oFile = oEntry.toObject();
        hFiles.insert(sPrefix + oFile.value(QStringLiteral("Path")).toString(),
                      quint64(std::max<qint64>(oFile.value(QStringLiteral("Size")).toVariant().toLongLong(), 0)));
    }
    return hFiles;
}

std::optional<QByteArray> TRcloneRemote::read(const QString& sRelative) const
{
    const TResult oResult = run({QStringLiteral("cat"), path(sRelative)});
    if (oResult.nExitCode == kNoSuchFolder || oResult.nExitCode == kNoSuchFile)
        return std::nullopt;
    if (oResult.nExitCode != 0)
        fail(QStringLiteral("Cannot read %1").arg(path(sRelative)), oResult);
    return oResult.aOut;
}

void TRcloneRemote::copyFiles(const QString& sLocalFolder, const QStringList& lRelative, int nJobs) const
{
    if (lRelative.isEmpty())
        return;
    const TResult oResult =
        runWithList(lRelative, {QStringLiteral("copy"), QStringLiteral("--no-traverse"), QStringLiteral("--no-check-dest"),
                                QStringLiteral("--transfers"), QString::number(nJobs), sLocalFolder, m_sRemote});
    if (oResult.nExitCode != 0)
        fail(QStringLiteral("Copying to %1 failed").arg(m_sRemote), oResult);
}

void TRcloneRemote::copyFile(const QString& sLocalPath, const QString& sRelative) const
{
    const TResult oResult = run({QStringLiteral("copyto"), QStringLiteral("--no-check-dest"), sLocalPath, path(sRelative)});
    if (oResult.nExitCode != 0)
        fail(QStringLiteral("Copying to %1 failed").arg(path(sRelative)), oResult);
}

void TRcloneRemote::deleteFiles(const QStringList& lRelative) const
{
    if (lRelative.isEmpty())
        return;
    const TResult oResult = runWithList(lRelative, {QStringLiteral("delete"), QStringLiteral("--no-traverse"), m_sRemote});
    if (oResult.nExitCode != 0)
        fail(QStringLiteral("Deleting from %1 failed").arg(m_sRemote), oResult);
}

void TRcloneRemote::removeEmptyFolders(const QString& sRelative) const
{
    const TResult oResult = run({QStringLiteral("rmdirs"), QStringLiteral("--leave-root"), path(sRelative)});
    if (oResult.nExitCode != 0 && oResult.nExitCode != kNoSuchFolder)
        fail(QStringLiteral("Cannot remove the empty folders of %1").arg(path(sRelative)), oResult);
}
