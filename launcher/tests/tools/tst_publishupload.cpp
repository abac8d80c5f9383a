// corvane-publish upload and prune on a remote, end to end: a WebDAV store
// served by rclone on loopback, reached through a connection string, and the
// same store served by nginx to corvane-install.

#include "installbed.h"

#include <QtTest>

namespace {

// `rclone serve webdav` of a folder on a port of its own choosing; the line
// announcing its address is the sign that it listens.
class TWebDavStore
{
public:
    ~TWebDavStore()
    {
        m_oProcess.kill();
        m_oProcess.waitForFinished();
    }

    bool start(const QString& sFolder, const QProcessEnvironment& oEnvironment)
    {
        QDir().mkpath(sFolder);
        m_oProcess.setProcessEnvironment(oEnvironment);
        m_oProcess.setProcessChannelMode(QProcess::MergedChannels);
        m_oProcess.start(QStringLiteral("rclone"), {QStringLiteral("serve"), QStringLiteral("webdav"), QStringLiteral("--addr"),
                                                    QStringLiteral("127.0.0.1:0"), sFolder});
        static const QRegularExpression oStarted(QStringLiteral("started on (http://127\\.0\\.0\\.1:\\d+/)"));
        QByteArray aLog;
        while (m_oProcess.waitForReadyRead(60000)) {
            aLog += m_oProcess.readAll();
            m_sUrl = oStarted.match(QString::fromUtf8(aLog)).captured(1);
            if (!m_sUrl.isEmpty())
                return true;
        }
        qWarning("rclone serve webdav did not start: %s", aLog.constData());
        return false;
    }

    // The remote as a connection string; no rclone configuration names it.
    QString remote(const QString& sPath = QString()) const
    {
        return QStringLiteral(":webdav,url='%1':%2").arg(m_sUrl, sPath);
    }

private:
    QProcess m_oProcess;
    QString m_sUrl;
};

// Relative path → bytes of every file below the folder, less the publisher's own
// (its lock and cache) if bPublishedOnly: those never belong in a store.
QMap<QString, QByteArray> allFiles(const QString& sFolder, bool bPublishedOnly = false)
{
    QMap<QString, QByteArray> hFiles;
    QDirIterator oIterator(sFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (oIterator.hasNext()) {
        const QString sPath = QDir(sFolder).relativeFilePath(oIterator.next());
        if (!bPublishedOnly || !sPath.contains(QLatin1String("/.corvane-publish.")))
            hFiles.insert(sPath, readTestFile(oIterator.filePath()));
    }
    return hFiles;
}

} // namespace

class TPublishUploadTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void uploadedStoreServesInstallsAndUpdates();

private:
    TToolRun publishTool(const QStringList& lArguments, bool bUnprivileged = false)
    {
        return runBuiltTool(QStringLiteral("corvane-publish"), lArguments, bUnprivileged, m_oEnvironment);
    }
    TToolRun upload(const QStringList& lExtra = {}, bool bUnprivileged = false)
    {
        return publishTool(QStringList{QStringLiteral("upload"), m_pBed->cdn(), m_pStore->remote()} + lExtra, bUnprivileged);
    }
    QString store() const { return m_pBed->path(QStringLiteral("store")); }

    std::unique_ptr<TInstallBed> m_pBed;
    std::unique_ptr<TWebDavStore> m_pStore;
    QProcessEnvironment m_oEnvironment;
};

void TPublishUploadTest::init()
{
    if (QStandardPaths::findExecutable(QStringLiteral("rclone")).isEmpty())
        QSKIP("rclone is not installed (scripts/setup installs it)");
    m_pBed = std::make_unique<TInstallBed>();
    m_pStore = std::make_unique<TWebDavStore>();
    // The publisher's own rclone configuration is no business of the test.
    m_oEnvironment = QProcessEnvironment::systemEnvironment();
    m_oEnvironment.insert(QStringLiteral("RCLONE_CONFIG"), m_pBed->path(QStringLiteral("rclone.conf")));
    QVERIFY(m_pStore->start(store(), m_oEnvironment));
    m_pBed->writeSource(QStringLiteral("bin/client"), noiseBytes(3 << 20, 1), true);
    m_pBed->writeSource(QStringLiteral("data/world.pak"), noiseBytes(1 << 20, 2));
    CORVANE_VERIFY_EXIT(m_pBed->publish(QStringLiteral("1")), 0);
    QVERIFY(writeTestFile(m_pBed->cdn() + QStringLiteral("/launcher.json"), "{}"));
}

void TPublishUploadTest::uploadedStoreServesInstallsAndUpdates()
{
    // A dry run lists chunk files first, then the package, asset and metadata documents, and copies nothing.
    TToolRun oRun = upload({QStringLiteral("--dry-run")});
    QStringList lListed = oRun.sOut.split(QLatin1Char('\n')).filter(QStringLiteral("would copy "));
    lListed.replaceInStrings(QStringLiteral("would copy "), QString());
    const QStringList lChunks = lListed.filter(QStringLiteral("live/chunks/"));
    QVERIFY2(oRun.nExitCode == 0 && lChunks.size() >= 2, qPrintable(oRun.describe()));
    QCOMPARE(lListed, lChunks + (QStringList{QStringLiteral("live/package.json"), QStringLiteral("live/assets.json"),
                                             QStringLiteral("launcher.json")}));
    QVERIFY(allFiles(store()).isEmpty());

    CORVANE_VERIFY_EXIT(upload(), 0);
    QCOMPARE(allFiles(store()), allFiles(m_pBed->cdn(), true));

    TNginxServer oNginx;
    QVERIFY2(oNginx.start(store()), qPrintable(oNginx.errorString()));
    m_pBed->serveFrom(oNginx.url(QStringLiteral("/")));
    CORVANE_VERIFY_EXIT(m_pBed->install(QStringLiteral("install")), 0);
    QVERIFY(m_pBed->installedAsPublished());

    // The same version again copies nothing and leaves every stored file as it was.
    const QMap<QString, QString> hState = treeState(store());
    oRun = upload();
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.startsWith(QLatin1String("Copied 0 chunk files")), qPrintable(oRun.describe()));
    QCOMPARE(treeState(store()), hState);

    // An update: only what changed travels, and the store serves the new version.
    QMap<QString, QByteArray> hOld = allFiles(store());
    m_pBed->writeSource(QStringLiteral("bin/client"), noiseBytes(3 << 20, 3), true);
    CORVANE_VERIFY_EXIT(m_pBed->publish(QStringLiteral("2")), 0);
    oRun = upload();
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QLatin1String("already there")), qPrintable(oRun.describe()));
    for (auto it = hOld.cbegin(); it != hOld.cend(); ++it)
        QVERIFY(it.key().endsWith(QLatin1String(".json")) || readTestFile(store() + QLatin1Char('/') + it.key()) == it.value());
    CORVANE_VERIFY_EXIT(m_pBed->install(QStringLiteral("update")), 0);
    QVERIFY(m_pBed->installedAsPublished());

    // Pruning the remote keeps exactly what pruning the home folder keeps.
    oRun = publishTool({QStringLiteral("prune"), m_pStore->remote(QStringLiteral("live")), QStringLiteral("--dry-run")});
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QLatin1String("would delete chunks/")), qPrintable(oRun.describe()));
    CORVANE_VERIFY_EXIT(publishTool({QStringLiteral("prune"), m_pStore->remote(QStringLiteral("live"))}), 0);
    CORVANE_VERIFY_EXIT(publishTool({QStringLiteral("prune"), m_pBed->cdn() + QStringLiteral("/live")}), 0);
    QCOMPARE(allFiles(store()), allFiles(m_pBed->cdn(), true));
    CORVANE_VERIFY_EXIT(m_pBed->install(QStringLiteral("verify")), 0);

    // A new asset chunk that cannot be read, so cannot be copied: no document may point at it.
    hOld = allFiles(store());
    m_pBed->writeSource(QStringLiteral("data/world.pak"), noiseBytes(1 << 20, 4));
    CORVANE_VERIFY_EXIT(m_pBed->publish(QStringLiteral("3")), 0);
    QStringList lNew = allFiles(m_pBed->cdn()).keys().filter(QStringLiteral("/chunks/"));
    lNew.erase(std::remove_if(lNew.begin(), lNew.end(), [&](const QString& sPath) { return hOld.contains(sPath); }), lNew.end());
    QCOMPARE(lNew.size(), 1);
    QVERIFY(QFile::setPermissions(m_pBed->cdn() + QLatin1Char('/') + lNew.first(), QFileDevice::Permissions()));
    oRun = upload({}, true);
    QVERIFY2(oRun.nExitCode == 1 && oRun.sErr.contains(QLatin1String("No document was written")), qPrintable(oRun.describe()));
    QCOMPARE(allFiles(store()), hOld);
}

QTEST_GUILESS_MAIN(TPublishUploadTest)
#include "tst_publishupload.moc"
