#pragma once

// A CDN folder published by corvane-publish, served on loopback, and
// corvane-install run against it: the ground the install engine's tests stand on.

#include "nginxserver.h"
#include "../tools/publishtool.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

// Reads the process's standard error until it holds sLine; false when the process ended first.
inline bool waitForLine(QProcess& oProcess, const QString& sLine, QString& sSeen)
{
    oProcess.setReadChannel(QProcess::StandardError);
    while (!sSeen.contains(sLine)) {
        if (!oProcess.waitForReadyRead(120000))
            return false;
        sSeen += QString::fromUtf8(oProcess.readAllStandardError());
    }
    return true;
}

// The download progress lines among corvane-install's JSON lines.
inline QList<QJsonObject> downloadLines(const QByteArray& aOut)
{
    QList<QJsonObject> lLines;
    for (const QByteArray& aLine : aOut.split('\n')) {
        const QJsonObject oLine = QJsonDocument::fromJson(aLine).object();
        if (oLine.value(QStringLiteral("step")) == QStringLiteral("download"))
            lLines << oLine;
    }
    return lLines;
}

// One published version: its documents and the files that make it.
struct TPublishedVersion
{
    QByteArray m_aPackage;
    QByteArray m_aAssets;
    QMap<QString, QByteArray> m_hFiles;
};

class TInstallBed
{
public:
    TInstallBed() : m_sSource(path("source")), m_sCdn(path("cdn")), m_sFolder(path("install/live")) {}

    QString path(const QString& sRelative) const { return m_oRoot.filePath(sRelative); }
    const QString& source() const { return m_sSource; }
    const QString& folder() const { return m_sFolder; }
    const QString& cdn() const { return m_sCdn; }

    // sServerConfig goes into nginx's server block (a rate limit, say).
    bool serve(const QString& sServerConfig = QString())
    {
        QDir().mkpath(m_sCdn);
        const bool bStarted = m_oNginx.start(m_sCdn, sServerConfig);
        m_oServer = m_oNginx.url(QStringLiteral("/"));
        return bStarted;
    }
    // Another server for the same CDN folder (one that breaks answers, say).
    void serveFrom(const QUrl& oServer) { m_oServer = oServer; }
    TNginxServer& nginx() { return m_oNginx; }

    // Publishes source/ as the given version; files under data/ are the assets,
    // of the version "a" and the same number.
    TToolRun publish(const QString& sVersion, const QString& sMethod = QStringLiteral("deflate"))
    {
        return runPublish(QStringList{QStringLiteral("build"), QStringLiteral("--source"), m_sSource, QStringLiteral("--out"),
                                      m_sCdn + QStringLiteral("/live"), QStringLiteral("--version"), sVersion,
                                      QStringLiteral("--asset-version"), QStringLiteral("a") + sVersion, QStringLiteral("--method"), sMethod}
                          + QStringLiteral("--executable bin/client --assets data --jobs 2").split(QLatin1Char(' ')));
    }

    void writeSource(const QString& sRelative, const QByteArray& aBytes, bool bExecutable = false)
    {
        QVERIFY(writeTestFile(m_sSource + QLatin1Char('/') + sRelative, aBytes, bExecutable));
    }

    // Writes the built-in settings with a stalled transfer given up after a
    // second, not half a minute; returns the arguments that hand them to
    // corvane-install, none when they could not be written.
    QStringList quickStallSettings() const
    {
        QByteArray aSettings = readTestFile(QStringLiteral(CORVANE_SOURCE_DIR "/launcher/resources/settings/launchersettings.ini"));
        aSettings.replace("[TIMING]\n", "[TIMING]\nstallTimeout=1000\n");
        const QString sPath = path(QStringLiteral("settings.ini"));
        if (!aSettings.contains("stallTimeout=1000") || !writeTestFile(sPath, aSettings))
            return {};
        return {QStringLiteral("--settings"), sPath};
    }

    // Runs corvane-install; sCrashAt stops it at that step, oEnvironment adds to its environment.
    TToolRun install(const QString& sCommand, const QString& sCrashAt = QString(), const QStringList& lExtra = {},
                     bool bUnprivileged = false, QProcessEnvironment oEnvironment = QProcessEnvironment())
    {
        if (!sCrashAt.isEmpty())
            oEnvironment.insert(QStringLiteral("CORVANE_CRASH_AT"), sCrashAt);
        oEnvironment.insert(installEnvironment());
        return runBuiltTool(QStringLiteral("corvane-install"), installArguments(sCommand) + lExtra, bUnprivileged, oEnvironment);
    }
    // What install() runs, for a test that drives the process itself.
    QStringList installArguments(const QString& sCommand) const
    {
        return QStringList{sCommand, m_oServer.resolved(QUrl(QStringLiteral("live/package.json"))).toString(), m_sFolder,
                           QStringLiteral("--assets"), m_oServer.resolved(QUrl(QStringLiteral("live/assets.json"))).toString()};
    }
    QProcessEnvironment installEnvironment() const
    {
        QProcessEnvironment oEnvironment;
        oEnvironment.insert(QStringLiteral("TMPDIR"), path("tmp"));
        QDir().mkpath(path("tmp"));
        return oEnvironment;
    }

    // Starts corvane-install without waiting for it; oEnvironment adds to the bed's.
    void startInstall(QProcess& oProcess, const QString& sCommand, const QProcessEnvironment& oEnvironment,
                      const QStringList& lExtra = {})
    {
        QProcessEnvironment oAll = QProcessEnvironment::systemEnvironment();
        oAll.insert(installEnvironment());
        oAll.insert(oEnvironment);
        oProcess.setProcessEnvironment(oAll);
        oProcess.start(builtExecutable(QStringLiteral("corvane-install")), installArguments(sCommand) + lExtra);
    }

    // Starts corvane-install with sStep held (CORVANE_STOP_AT) and waits until it
    // holds there; a line on its standard input lets it go on.
    bool startHeld(QProcess& oProcess, const QString& sCommand, const QString& sStep, QString& sErr)
    {
        QProcessEnvironment oStop;
        oStop.insert(QStringLiteral("CORVANE_STOP_AT"), sStep);
        startInstall(oProcess, sCommand, oStop);
        return waitForLine(oProcess, QStringLiteral("stopped at ") + sStep, sErr);
    }

    // Runs sCommand with JSON progress and sends it nSignal as soon as a download
    // line passes fnReached (the sync point); one that never does runs to its end.
    TToolRun stopAtProgress(const QString& sCommand, int nSignal, const std::function<bool(const QJsonObject&)>& fnReached)
    {
        QProcess oProcess;
        startInstall(oProcess, sCommand, QProcessEnvironment(), {QStringLiteral("--progress"), QStringLiteral("json")});
        QByteArray aOut;
        bool bReached = false;
        while (!bReached && oProcess.waitForReadyRead(60000)) {
            aOut += oProcess.readAllStandardOutput();
            const QList<QJsonObject> lLines = downloadLines(aOut);
            bReached = std::any_of(lLines.begin(), lLines.end(), fnReached);
        }
        if (bReached)
            ::kill(pid_t(oProcess.processId()), nSignal);
        TToolRun oRun;
        if (!oProcess.waitForFinished(120000))
            return oRun;
        oRun.bKilled = oProcess.exitStatus() == QProcess::CrashExit;
        oRun.nExitCode = oRun.bKilled ? -1 : oProcess.exitCode();
        oRun.sOut = QString::fromUtf8(aOut + oProcess.readAllStandardOutput());
        oRun.sErr = QString::fromUtf8(oProcess.readAllStandardError());
        return oRun;
    }

    // The chunk files fetched since the last call.
    QStringList fetchedChunks()
    {
        const QStringList lAll = m_oNginx.servedPaths();
        QStringList lChunks;
        for (int nLine = m_nSeenRequests; nLine < lAll.size(); ++nLine) {
            if (lAll[nLine].contains(QLatin1String("/chunks/")))
                lChunks << lAll[nLine];
        }
        m_nSeenRequests = lAll.size();
        return lChunks;
    }

    // Relative path → bytes of every file below sFolder, marker files left out.
    static QMap<QString, QByteArray> files(const QString& sFolder)
    {
        QMap<QString, QByteArray> hFiles;
        QDirIterator oIterator(sFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (oIterator.hasNext()) {
            const QString sPath = oIterator.next();
            const QString sRelative = QDir(sFolder).relativeFilePath(sPath);
            if (sRelative != QLatin1String("package.json") && sRelative != QLatin1String("partial-package.json")
                && sRelative != QLatin1String("assets.json"))
                hFiles.insert(sRelative, readTestFile(sPath));
        }
        return hFiles;
    }
    bool installedAsPublished() const { return files(m_sFolder) == files(m_sSource); }

    // What is published now, from source/; empty when it could not be published.
    TPublishedVersion publishVersion(const QString& sVersion, const QString& sMethod = QStringLiteral("deflate"))
    {
        if (publish(sVersion, sMethod).nExitCode != 0)
            return TPublishedVersion();
        return TPublishedVersion{readTestFile(m_sCdn + QStringLiteral("/live/package.json")),
                                 readTestFile(m_sCdn + QStringLiteral("/live/assets.json")), files(m_sSource)};
    }
    // Why the folder is not oVersion installed whole, empty when it is.
    QString notInstalled(const TPublishedVersion& oVersion) const
    {
        if (files(m_sFolder) != oVersion.m_hFiles)
            return QStringLiteral("other files than the version's");
        if (readTestFile(m_sFolder + QStringLiteral("/package.json")) != oVersion.m_aPackage
            || readTestFile(m_sFolder + QStringLiteral("/assets.json")) != oVersion.m_aAssets
            || QFileInfo::exists(m_sFolder + QStringLiteral("/partial-package.json")))
            return QStringLiteral("markers of another version or a partial one");
        return QString();
    }
    // Why the folder's markers claim what it does not hold, empty when they claim
    // nothing false: a full marker only with every file of its version in place,
    // and the asset copy of the same version beside whichever marker stands.
    QString markerUntruth(const QList<TPublishedVersion>& lVersions) const
    {
        const QByteArray aFull = readTestFile(m_sFolder + QStringLiteral("/package.json"));
        const QByteArray aMarker = aFull.isEmpty() ? readTestFile(m_sFolder + QStringLiteral("/partial-package.json")) : aFull;
        if (aMarker.isEmpty())
            return QString();
        for (const TPublishedVersion& oVersion : lVersions) {
            if (aMarker != oVersion.m_aPackage)
                continue;
            if (readTestFile(m_sFolder + QStringLiteral("/assets.json")) != oVersion.m_aAssets)
                return QStringLiteral("the asset copy belongs to another version than the marker");
            if (!aFull.isEmpty() && files(m_sFolder) != oVersion.m_hFiles)
                return QStringLiteral("the full marker names a version whose files are not all there");
            return QString();
        }
        return QStringLiteral("a marker of no published version");
    }

    // The addresses (URL paths) of the chunks and whole files of oReader that the
    // folder already holds at every place that needs them: a run that fetches one
    // of these fetches what is written.
    static QSet<QString> addressesInPlace(const QString& sFolder, const velmar::launcher::TPackageConfigurationReader& oReader)
    {
        QHash<QString, bool> hInPlace;
        const auto place = [&](const QUrl& oUrl, const QByteArray& aBytes, const shared::TSha256Digest& oHash) {
            const bool bThere = shared::TSha256::hash(aBytes) == oHash.toByteArray();
            const auto it = hInPlace.find(oUrl.path());
            if (it == hInPlace.end())
                hInPlace.insert(oUrl.path(), bThere);
            else
                *it = *it && bThere;
        };
        for (const auto& oFile : oReader.files()) {
            const QByteArray aBytes = readTestFile(sFolder + QLatin1Char('/') + oFile.localFile());
            if (oFile.chunks().size() < 2) {
                if (oFile.packedForm().hasUrl())
                    place(oReader.url(oFile.packedForm()), qint64(oFile.unpackedSize()) == aBytes.size() ? aBytes : QByteArray("-"),
                          oFile.unpackedHash());
                continue;
            }
            qint64 nOffset = 0;
            for (const qint32 nIndex : oFile.chunks()) {
                const auto& oChunk = oReader.chunks()[size_t(nIndex)];
                const qint64 nSize = qint64(oChunk.unpackedSize());
                place(oReader.url(oChunk), nOffset + nSize <= aBytes.size() ? aBytes.mid(int(nOffset), int(nSize)) : QByteArray("-"),
                      oChunk.unpackedHash());
                nOffset += nSize;
            }
        }
        QSet<QString> lInPlace;
        for (auto it = hInPlace.cbegin(); it != hInPlace.cend(); ++it) {
            if (it.value())
                lInPlace << it.key();
        }
        return lInPlace;
    }

private:
    QTemporaryDir m_oRoot;
    QString m_sSource;
    QString m_sCdn;
    QString m_sFolder;
    TNginxServer m_oNginx;
    QUrl m_oServer;
    int m_nSeenRequests = 0;
};
