#pragma once

// A player's machine in a folder: a launcher folder holding a copy of the
// launcher with its settings, per-user folders of its own, and a CDN published
// with corvane-publish and served by nginx on loopback. The launcher runs as a
// real process; the stub client (corvane-demo-client) records how it was started.

#include "nginxserver.h"
#include "noisebytes.h"
#include "../tools/publishtool.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TLauncherBed
{
public:
    TLauncherBed()
    {
        // Kept for a look after a failure.
        m_oRoot.setAutoRemove(!qEnvironmentVariableIsSet("CORVANE_KEEP_TEST_FOLDERS"));
        for (const char* pFolder : {"launcher", "config", "data", "tmp", "cdn/launcher"})
            QDir().mkpath(path(QLatin1String(pFolder)));
    }

    QString path(const QString& sRelative) const { return m_oRoot.filePath(sRelative); }
    QString packageFolder(const QString& sDirectory) const { return path(QStringLiteral("launcher/packages/") + sDirectory); }
    QString clientExecutable(const QString& sDirectory) const { return packageFolder(sDirectory) + QStringLiteral("/bin/client"); }
    QString launcherExecutable() const { return path(QStringLiteral("launcher/corvane-launcher")); }
    TNginxServer& nginx() { return m_oNginx; }
    // Another bed's folder, for launchers that must meet as one user's would.
    void shareTemporaryFolder(const TLauncherBed& oOther) { m_sTemporaryFolder = oOther.path(QStringLiteral("tmp")); }

    // Copies the launcher into its folder, gives it settings that name the CDN's
    // metadata (shorter timeouts where given, as "key=value" lines), and serves the CDN.
    bool setUp(const QStringList& lTimings = {QStringLiteral("downloadErrorTimeout=4000")})
    {
        if (!QFile::copy(builtExecutable(QStringLiteral("corvane-launcher")), launcherExecutable())
            || !m_oNginx.start(path(QStringLiteral("cdn"))))
            return false;
        QString sSettings = QString::fromUtf8(
            readTestFile(QStringLiteral(CORVANE_SOURCE_DIR "/launcher/resources/settings/launchersettings.ini")));
        sSettings.replace(QRegularExpression(QStringLiteral("launcherConfiguration=[^\\n]*")),
                          QStringLiteral("launcherConfiguration=")
                              + m_oNginx.url(QStringLiteral("/launcher/qlxmetadata.json")).toString());
        for (const QString& sTiming : lTimings)
            sSettings.replace(QRegularExpression(sTiming.section(QLatin1Char('='), 0, 0) + QStringLiteral("=[0-9]*")), sTiming);
        return writeTestFile(path(QStringLiteral("launcher/launchersettings.ini")), sSettings.toUtf8());
    }

    // Publishes a client package into cdn/<sDirectory>: the stub client as bin/client,
    // its settings file and some data whose content follows nSeed; with nLargeFile,
    // also CorvaneOnlineClient_Data/large.dat of that many bytes, several chunks long.
    TToolRun publishClient(const QString& sDirectory, const QString& sVersion, quint64 nSeed,
                           const QByteArray& aClientSettings = "{\"GraphicsAPI\": 2}", int nLargeFile = 0)
    {
        const QString sSource = path(QStringLiteral("source/") + sDirectory);
        QDir(sSource).removeRecursively();
        QDir().mkpath(sSource + QStringLiteral("/bin"));
        QFile::copy(builtExecutable(QStringLiteral("corvane-demo-client")), sSource + QStringLiteral("/bin/client"));
        writeTestFile(sSource + QStringLiteral("/CorvaneOnlineClient_Data/Data/Settings/settings.json"), aClientSettings);
        writeTestFile(sSource + QStringLiteral("/CorvaneOnlineClient_Data/world.dat"), noiseBytes(300000, nSeed));
        if (nLargeFile > 0)
            writeTestFile(sSource + QStringLiteral("/CorvaneOnlineClient_Data/large.dat"), noiseBytes(nLargeFile, nSeed + 1));
        return runPublish({QStringLiteral("build"), QStringLiteral("--source"), sSource, QStringLiteral("--out"),
                           path(QStringLiteral("cdn/") + sDirectory), QStringLiteral("--version"), sVersion,
                           QStringLiteral("--executable"), QStringLiteral("bin/client"), QStringLiteral("--parameter"),
                           QStringLiteral("-windowed"), QStringLiteral("--method"), QStringLiteral("deflate"),
                           QStringLiteral("--jobs"), QStringLiteral("2")});
    }

    // Publishes sProgram as the launcher's own package, version sVersion.
    TToolRun publishLauncher(const QString& sProgram, const QString& sVersion, const QString& sExtraFile = QString())
    {
        const QString sSource = path(QStringLiteral("source/launcherpackage"));
        QDir(sSource).removeRecursively();
        QDir().mkpath(sSource);
        if (!sExtraFile.isEmpty())
            writeTestFile(sSource + QLatin1Char('/') + sExtraFile, "extra\n");
        QFile::copy(sProgram, sSource + QStringLiteral("/corvane-launcher"));
        writeTestFile(sSource + QStringLiteral("/README.txt"), "Corvane Online launcher " + sVersion.toUtf8() + '\n');
        return runPublish({QStringLiteral("build"), QStringLiteral("--source"), sSource, QStringLiteral("--out"),
                           path(QStringLiteral("cdn/launcherpackage")), QStringLiteral("--version"), sVersion,
                           QStringLiteral("--executable"), QStringLiteral("corvane-launcher"), QStringLiteral("--method"),
                           QStringLiteral("deflate"), QStringLiteral("--jobs"), QStringLiteral("2")});
    }

    // The metadata: the launcher's package when published, then the client
    // packages (directory names), each installed automatically.
    TToolRun writeMetadata(const QStringList& lDirectories, const QStringList& lExtra = {})
    {
        QStringList lArguments{QStringLiteral("metadata"), QStringLiteral("--out"),
                               path(QStringLiteral("cdn/launcher/qlxmetadata.json"))};
        if (QFileInfo::exists(path(QStringLiteral("cdn/launcherpackage/package.json"))))
            lArguments << QStringLiteral("--launcher-url") << QStringLiteral("../launcherpackage/package.json");
        for (const QString& sDirectory : lDirectories)
            lArguments << QStringLiteral("--package") << QStringLiteral("Client ") + sDirectory
                       << QStringLiteral("--directory") << sDirectory << QStringLiteral("--url")
                       << QStringLiteral("../%1/package.json").arg(sDirectory) << QStringLiteral("--install-automatically");
        return runPublish(lArguments + lExtra);
    }

    // Runs the launcher to its end; -1 when it did not end within the time.
    int run(const QStringList& lArguments, int nTimeoutMilliseconds = 90000, bool bFreshLog = true)
    {
        QProcess oLauncher;
        start(oLauncher, lArguments, bFreshLog);
        // The servers a run talks to live on threads or in processes of their own.
        if (!oLauncher.waitForFinished(nTimeoutMilliseconds)) {
            oLauncher.kill();
            oLauncher.waitForFinished();
            return -1;
        }
        return oLauncher.exitStatus() == QProcess::NormalExit ? oLauncher.exitCode() : -1;
    }

    void start(QProcess& oLauncher, const QStringList& lArguments, bool bFreshLog = true)
    {
        QProcessEnvironment oEnvironment = QProcessEnvironment::systemEnvironment();
        oEnvironment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        oEnvironment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        oEnvironment.insert(QStringLiteral("TMPDIR"), m_sTemporaryFolder.isEmpty() ? path(QStringLiteral("tmp")) : m_sTemporaryFolder);
        oEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        oEnvironment.insert(QStringLiteral("CORVANE_MESSAGES"), QStringLiteral("log"));
        oEnvironment.insert(QStringLiteral("CORVANE_DEMO_CLIENT_RECORD"), path(QStringLiteral("client.txt")));
        oEnvironment.insert(QStringLiteral("CORVANE_DEMO_CLIENT_SECONDS"), QStringLiteral("0"));
        oLauncher.setProcessEnvironment(oEnvironment);
        // Waiting on the log then sees this run's lines only.
        if (bFreshLog)
            QFile::remove(path(QStringLiteral("launcher/corvane-launcher.log")));
        oLauncher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        oLauncher.start(launcherExecutable(), lArguments);
    }

    QString log() const { return QString::fromUtf8(readTestFile(path(QStringLiteral("launcher/corvane-launcher.log")))); }

    // How the stub client was last started: "cwd <folder>" then "arg <argument>" lines.
    // Taken, so that the next start is seen afresh.
    QStringList takeClientStart()
    {
        const QString sRecord = path(QStringLiteral("client.txt"));
        const QStringList lLines = QString::fromUtf8(readTestFile(sRecord)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QFile::remove(sRecord);
        return lLines;
    }

    // A launcher that restarted itself is no child of the test, nor is a client it
    // started: whatever still runs from this bed's folder ends with the bed.
    ~TLauncherBed()
    {
        const QString sOwn = path(QStringLiteral("launcher/"));
        for (const QString& sProcess : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool bNumber = false;
            const int nProcess = sProcess.toInt(&bNumber);
            if (bNumber && QFileInfo(QStringLiteral("/proc/%1/exe").arg(nProcess)).symLinkTarget().startsWith(sOwn))
                ::kill(nProcess, SIGKILL);
        }
    }

private:
    QTemporaryDir m_oRoot;
    TNginxServer m_oNginx;
    QString m_sTemporaryFolder;
};
