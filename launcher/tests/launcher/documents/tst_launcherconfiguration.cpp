// The launcher's configuration: its settings file, and the metadata, read from its
// document and loaded by the handler with its local copy, offline fallback,
// package documents and hints.

#include "configurationfixture.h"
#include "nginxserver.h"
#include "testhttpserver.h"
#include "testfiles.h"
#include "testpool.h"

#include "launcher/documents/launcherconfigurationexception.h"
#include "launcher/documents/launcherconfigurationhandler.h"
#include "launcher/documents/metadatarefresh.h"

#include "shared/downloadpool.h"

#include <QSignalSpy>
#include <QUrlQuery>
#include <QtTest>

using namespace velmar::launcher;

namespace {

const QUrl kBase(QStringLiteral("https://cdn.invalid/launcher/"));

std::unique_ptr<TLauncherConfigurationReader> read(const QByteArray& aJson, const QUrl& oBase = kBase)
{
    return std::make_unique<TLauncherConfigurationReader>(aJson, oBase);
}

QByteArray packageDocument(const QByteArray& aVersion)
{
    return R"({"version":")" + aVersion + R"(","chunks":[{"url":"chunks/c0?sig=1","packedsize":3}],"files":[{"localfile":"a","chunks":[0]}]})";
}

// One launcher folder whose settings load the metadata from oMetadataUrl.
class TFixture : public TConfigurationFixture
{
public:
    using TConfigurationFixture::TConfigurationFixture;
    TFixture(const QUrl& oMetadataUrl, int nErrorTimeout = 20000, bool bNocache = false)
        : TConfigurationFixture(QStringLiteral("[URLS]\nlauncherConfiguration=%1\nappendNocacheToPackageUrls=%2\n"
                                               "[DIRECTORIES]\npackages=packages\n[TIMING]\ndownloadErrorTimeout=%3\n"
                                               "[FILES]\npackageFile=package.json\npartialPackageFile=partial-package.json\n"
                                               "assetFile=assets.json\n")
                                    .arg(oMetadataUrl.toString())
                                    .arg(int(bNocache))
                                    .arg(nErrorTimeout)
                                    .toUtf8())
    {
    }

    const TLauncherSettings& settings() const { return *m_pHelper->settings(); }
};

const QByteArray kMetadata = R"({
    "launcher": {"name": "Launcher", "builds": [{"os": "linux", "architecture": "x86_64", "url": "self/package.json"}]},
    "packages": [
        {"name": "Live", "directoryname": "live",
         "builds": [{"os": "linux", "architecture": "x86_64", "url": "live/package.json", "assetsurl": "live/assets.json"}]},
        {"name": "Lean", "directoryname": "lean", "builds": [{"os": "linux", "architecture": "x86_64", "url": "lean/package.json"}]},
        {"name": "Mirror", "directoryname": "../mirror",
         "builds": [{"os": "linux", "architecture": "x86_64", "url": "live/package.json", "assetsurl": "live/assets.json"}]},
        {"name": "Elsewhere", "builds": [{"os": "windows", "architecture": "x86_64", "url": "win/package.json"}]},
        {"name": "Missing", "builds": [{"os": "linux", "architecture": "x86_64", "url": "missing/package.json"}]},
        {"name": "Both", "builds": [{"os": "linux", "architecture": "x86_64", "url": "lean/package.json",
                                     "assetsurl": "lean/package.json"}]}
    ],
    "hints": "HINTS"
})";

} // namespace

class tst_LauncherConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void settingsConvertAsText_data();
    void settingsConvertAsText();
    void packagesFolderStaysInside_data();
    void packagesFolderStaysInside();
    void accountGroup_data();
    void accountGroup();
    void invalidJsonThrows();
    void packagesAndBuildsReadInOrder();
    void buildAddressesResolveAgainstBase_data();
    void buildAddressesResolveAgainstBase();
    void buildMirrorsAreChecked_data();
    void buildMirrorsAreChecked();

    void onlineLoadWritesLocalCopyAndFetchesPackages_data();
    void onlineLoadWritesLocalCopyAndFetchesPackages();
    void offlinePackagesComeFromInstalledCopies_data();
    void offlinePackagesComeFromInstalledCopies();
    void slowServerFallsBackAndLateAnswerIsIgnored_data();
    void slowServerFallsBackAndLateAnswerIsIgnored();
    void failedDocumentsAreAskedForAgain_data();
    void failedDocumentsAreAskedForAgain();
    void noBuildForThisPlatformFinishesAtOnce();
    void refreshChangesAllOrNothing_data();
    void refreshChangesAllOrNothing();
    void metadataAnswerDecidesTheOutcome_data();
    void metadataAnswerDecidesTheOutcome();

private:
    QTemporaryDir m_oRoot;
    TNginxServer m_oServer;
};

void tst_LauncherConfiguration::initTestCase()
{
    QVERIFY(m_oRoot.isValid());
    QVERIFY2(m_oServer.start(m_oRoot.path()), qPrintable(m_oServer.errorString()));
    QByteArray aMetadata = kMetadata;
    aMetadata.replace("HINTS", m_oServer.url(QStringLiteral("/hints.json")).toEncoded());
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("launcher/metadata.json")), aMetadata));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("launcher/self/package.json")), packageDocument("0.0.14")));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("launcher/live/package.json")), packageDocument("live-3")));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("launcher/live/assets.json")), R"({"version": 9})"));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("launcher/lean/package.json")), packageDocument("lean-1")));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("nowhere/metadata.json")),
              R"({"packages": [{"builds": [{"os": "windows", "architecture": "x86_64"}, {"os": "linux", "architecture": "arm64"}]}]})"));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("hints.json")), R"([
        {"title": "no text"},
        {"title": "News", "richText": "<b>Patch</b>"},
        {"title": "Outage", "richText": "down", "emergency": true, "displayUntil": "2001-01-01T00:00:00Z"}])"));
}

void tst_LauncherConfiguration::onlineLoadWritesLocalCopyAndFetchesPackages_data()
{
    QTest::addColumn<bool>("bNocache");
    QTest::newRow("plain") << false;
    // Each build asks with its own random item, so shared documents are asked for
    // twice; a local copy that cannot be written is reported, and the load goes on.
    QTest::newRow("package addresses with nocache, local copy unwritable") << true;
}

void tst_LauncherConfiguration::onlineLoadWritesLocalCopyAndFetchesPackages()
{
    QFETCH(bool, bNocache);
    TFixture oFixture(m_oServer.url(QStringLiteral("/launcher/metadata.json")), 20000, bNocache);
    if (bNocache)
        QVERIFY(QDir().mkpath(oFixture.path(QStringLiteral("launchermetadata.json"))));
    QSignalSpy oHints(&oFixture.m_oHandler, &TLauncherConfigurationHandler::hintsAreaDataReceived);
    oFixture.m_oHandler.startLoadingMainConfiguration();
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.m_oLoaded.size(), 1, 20000);
    QCOMPARE(oFixture.m_oFailed.size(), 0);
    QCOMPARE(oFixture.m_oDiskFailed.size(), bNocache ? 1 : 0);
    QVERIFY(!oFixture.m_oHandler.isOffline());
    const auto pReader = oFixture.m_oHandler.launcherConfiguration();
    if (!bNocache)
        QCOMPARE(readTestFile(oFixture.path(QStringLiteral("launchermetadata.json"))), pReader->document());

    oFixture.m_oHandler.downloadPackageConfigurations();
    oFixture.m_oHandler.downloadHints();
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.m_oFinished.size(), 1, 20000);
    // Nothing is left to arrive and announce the end a second time.
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.m_pPool->outstandingDownloads(), 0, 20000);
    QCOMPARE(oFixture.m_oFinished.size(), 1);

    const auto pLauncher = pReader->launcherPackage()->platformBuild()->configuration();
    QVERIFY(pLauncher && pLauncher->isValid());
    QCOMPARE(pLauncher->version(), QStringLiteral("0.0.14"));
    QCOMPARE(oFixture.configuration(0)->versionLabel(), QStringLiteral("Plive-3 A9"));
    // A build without assets completes on its package document alone.
    QCOMPARE(oFixture.configuration(1)->versionLabel(), QStringLiteral("Plean-1 A?"));
    // Two builds sharing one document URL both receive it.
    QCOMPARE(oFixture.configuration(2)->versionLabel(), QStringLiteral("Plive-3 A9"));
    // A document that is not there leaves the others configured.
    QVERIFY(!oFixture.configuration(4));
    if (!bNocache) // One document serving as both package and asset document reaches both.
        QCOMPARE(oFixture.configuration(5)->versionLabel(), QStringLiteral("Plean-1 Alean-1"));
    // Chunk addresses never get the item.
    QCOMPARE(oFixture.configuration(0)->url(oFixture.configuration(0)->chunks()[0]),
             m_oServer.url(QStringLiteral("/launcher/live/chunks/c0")));
    QCOMPARE(QUrlQuery(oFixture.configuration(0)->packageBaseUrl()).hasQueryItem(QStringLiteral("nocache")), bNocache);
    QCOMPARE(QUrlQuery(oFixture.configuration(0)->assetBaseUrl()).hasQueryItem(QStringLiteral("nocache")), bNocache);

    // The hints with text arrive, and one of them is chosen.
    QCOMPARE(oHints.size(), 1);
    QCOMPARE(oHints.first().at(0).value<std::vector<shared::THint>>().size(), size_t(2));
    QCOMPARE(oFixture.m_oHandler.currentHint()->m_sTitle, QStringLiteral("Outage"));
}

void tst_LauncherConfiguration::offlinePackagesComeFromInstalledCopies_data()
{
    QTest::addColumn<QByteArray>("aInstalled");
    QTest::addColumn<QByteArray>("aPartial");
    QTest::addColumn<QString>("sLabel");
    QTest::newRow("installed") << packageDocument("installed-lean") << QByteArray() << "Pinstalled-lean A?";
    // A download that stopped half-way keeps the client in the window.
    QTest::newRow("partly installed") << QByteArray() << packageDocument("target-lean") << "Ptarget-lean A?";
    // Only a crash between the two renames leaves both: the full marker is the record.
    QTest::newRow("both markers") << packageDocument("installed-lean") << packageDocument("target-lean")
                                  << "Pinstalled-lean A?";
}

void tst_LauncherConfiguration::offlinePackagesComeFromInstalledCopies()
{
    QFETCH(QByteArray, aInstalled);
    QFETCH(QByteArray, aPartial);
    QFETCH(QString, sLabel);
    TFixture oFixture(QUrl(QStringLiteral("http://127.0.0.1:%1/launcher/metadata.json").arg(freeLoopbackPort())));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("launchermetadata.json")), kMetadata));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/live/package.json")), packageDocument("installed-live")));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/live/assets.json")), R"({"version": "2"})"));
    if (!aInstalled.isNull())
        QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/lean/package.json")), aInstalled));
    if (!aPartial.isNull())
        QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/lean/partial-package.json")), aPartial));
    // "../mirror" climbs out of the packages folder and is cut back to "mirror".
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/mirror/package.json")), packageDocument("inside")));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("packages/mirror/assets.json")), R"({"version": "2"})"));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("mirror/package.json")), packageDocument("escaped")));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("mirror/assets.json")), R"({"version": "2"})"));
    // Where the launcher package's relative address points while offline: a
    // request for it would find a document.
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("self/package.json")), packageDocument("0.0.14")));
    oFixture.load();
    QVERIFY(oFixture.m_oHandler.isOffline());
    QCOMPARE(oFixture.configuration(0)->versionLabel(), QStringLiteral("Pinstalled-live A2"));
    QCOMPARE(oFixture.configuration(0)->packageBaseUrl(),
             QUrl::fromLocalFile(QDir(oFixture.path(QStringLiteral("packages/live"))).absolutePath() + QLatin1Char('/')));
    QCOMPARE(oFixture.configuration(1)->versionLabel(), sLabel);
    QCOMPARE(oFixture.configuration(2)->version(), QStringLiteral("inside"));
    // The launcher's own package gets no request while offline.
    QVERIFY(!oFixture.m_oHandler.launcherConfiguration()->launcherPackage()->platformBuild()->configuration());
}

void tst_LauncherConfiguration::slowServerFallsBackAndLateAnswerIsIgnored_data()
{
    QTest::addColumn<int>("nStatus");
    QTest::addColumn<QByteArray>("aBody");
    QTest::newRow("late document") << 200 << QByteArray(R"({"packages": []})");
    QTest::newRow("late 404") << 404 << QByteArray("gone");
}

void tst_LauncherConfiguration::slowServerFallsBackAndLateAnswerIsIgnored()
{
    QFETCH(int, nStatus);
    QFETCH(QByteArray, aBody);
    TTestHttpServer oServer;
    QVERIFY(oServer.start());
    oServer.setDefaultResponse(TCannedHttpResponse::withBody(aBody, nStatus));
    oServer.setHoldResponses(true);
    TFixture oFixture(oServer.url(QStringLiteral("/launcher/metadata.json")), 300);
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("launchermetadata.json")), kMetadata));
    oFixture.m_oHandler.startLoadingMainConfiguration();
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.outcomes(), 1, 20000);
    QCOMPARE(oFixture.m_oLoaded.size(), 1);
    QVERIFY(oFixture.m_oHandler.isOffline());
    QTRY_COMPARE_WITH_TIMEOUT(oServer.heldCount(), 1, 20000);
    const auto pReader = oFixture.m_oHandler.launcherConfiguration();

    QSignalSpy oPoolSuccess(oFixture.m_pPool.get(), &shared::TDownloadPool::success);
    QSignalSpy oPoolFailure(oFixture.m_pPool.get(), &shared::TDownloadPool::failed);
    oServer.answerHeld(0);
    QTRY_COMPARE_WITH_TIMEOUT(oPoolSuccess.size() + oPoolFailure.size(), 1, 20000);
    QCOMPARE(oFixture.outcomes(), 1);
    QVERIFY(oFixture.m_oHandler.isOffline());
    QCOMPARE(oFixture.m_oHandler.launcherConfiguration(), pReader);
    QCOMPARE(pReader->packages().size(), size_t(6));
}

// A server error, a reset or a time-out may pass: the document is asked for
// again, as often as a chunk would be. An answer that it is not there is final.
void tst_LauncherConfiguration::failedDocumentsAreAskedForAgain_data()
{
    QTest::addColumn<QString>("sPath");
    QTest::addColumn<int>("nFault");
    QTest::addColumn<int>("nTimes");
    QTest::addColumn<bool>("bOffline");
    QTest::addColumn<bool>("bConfigured");
    QTest::addColumn<int>("nRequests");
    const QString sMetadata = QStringLiteral("launcher/metadata.json");
    const QString sPackage = QStringLiteral("launcher/live/package.json");
    QTest::newRow("metadata 503 once") << sMetadata << int(EHttpFault::Unavailable) << 1 << false << true << 2;
    QTest::newRow("metadata 503 throughout: the local copy") << sMetadata << int(EHttpFault::Unavailable) << -1 << true
                                                               << false << 4;
    QTest::newRow("package document 500 once") << sPackage << int(EHttpFault::ServerError) << 1 << false << true << 2;
    QTest::newRow("package document 404") << sPackage << int(EHttpFault::NotFound) << -1 << false << false << 1;
}

void tst_LauncherConfiguration::failedDocumentsAreAskedForAgain()
{
    QFETCH(QString, sPath);
    QFETCH(int, nFault);
    QFETCH(int, nTimes);
    QFETCH(bool, bOffline);
    QFETCH(bool, bConfigured);
    TTestHttpServer oServer;
    QVERIFY(oServer.start(m_oRoot.path()));
    oServer.setFaultForPrefix(sPath, EHttpFault(nFault), nTimes);
    TFixture oFixture(oServer.url(QStringLiteral("/launcher/metadata.json")));
    QVERIFY(writeTestFile(oFixture.path(QStringLiteral("launchermetadata.json")), kMetadata));
    oFixture.load();
    QCOMPARE(oFixture.m_oFinished.size(), 1);
    QCOMPARE(oFixture.m_oHandler.isOffline(), bOffline);
    const auto pLive = oFixture.configuration(0);
    QCOMPARE(pLive && pLive->isValid(), bConfigured);
    int nRequests = 0;
    for (const TRecordedHttpRequest& oRequest : oServer.requests())
        nRequests += oRequest.path() == sPath;
    QTEST(nRequests, "nRequests");
}

void tst_LauncherConfiguration::noBuildForThisPlatformFinishesAtOnce()
{
    TFixture oFixture(m_oServer.url(QStringLiteral("/nowhere/metadata.json")));
    oFixture.m_oHandler.startLoadingMainConfiguration();
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.m_oLoaded.size(), 1, 20000);
    oFixture.m_oHandler.downloadPackageConfigurations();
    QCOMPARE(oFixture.m_oFinished.size(), 1);
    QCOMPARE(oFixture.m_pPool->outstandingDownloads(), 0);
}

void tst_LauncherConfiguration::invalidJsonThrows()
{
    for (const QByteArray& aJson : {QByteArray("{\"packages\": [}"), QByteArray(), QByteArray("\"text\""),
                                    QByteArray(100000, '[')})
        QVERIFY_EXCEPTION_THROWN(read(aJson), TLauncherConfigurationException);
}

// Every field's reading is also checked on what corvane-publish metadata writes;
// here what that tool never writes.
void tst_LauncherConfiguration::packagesAndBuildsReadInOrder()
{
    const auto pReader = read(R"({
        "launcher": {"name": "Launcher"},
        "packages": [{"name": "Live", "builds": [{"os": "windows", "architecture": "x86_64"}]}, 42,
            {"builds": [{"os": 3, "architecture": true, "url": "x", "assetsurl": ""}, "not a build"]}],
        "hints": "hints.json"
    })");
    QCOMPARE(pReader->launcherPackage()->index(), 2147483647);
    QCOMPARE(pReader->packages().size(), size_t(3));
    for (int n = 0; n < 3; ++n)
        QCOMPARE(pReader->packages()[size_t(n)]->index(), n);
    QCOMPARE(pReader->packages()[0]->name(), QStringLiteral("Live"));
    // A non-object element is a package read from an empty object.
    QVERIFY(pReader->packages()[1]->name().isEmpty());
    QVERIFY(pReader->packages()[1]->builds().empty());
    // The hints address is taken as written, not resolved.
    QCOMPARE(pReader->hintsUrl(), QUrl(QStringLiteral("hints.json")));

    const TPackage& oBuilds = *pReader->packages()[2];
    QCOMPARE(oBuilds.builds().size(), size_t(2));
    QCOMPARE(oBuilds.builds()[0]->operatingSystem(), UnknownOperatingSystem);
    QCOMPARE(oBuilds.builds()[0]->architecture(), UnknownArchitecture);
    // An empty asset address is no asset document, not the metadata's own folder.
    QVERIFY(oBuilds.builds()[0]->assetConfigurationUrl().isEmpty());
    QCOMPARE(oBuilds.builds()[1]->packageConfigurationUrl(), kBase);

    // This platform's build is the first that matches, the system's name in any case;
    // a build for another system is kept, but is not this platform's.
    const auto pBuilds = read(R"({"packages": [
        {"builds": [{"os": "windows", "architecture": "x86_64", "url": "w"},
                    {"os": "Linux", "architecture": "x86_64", "url": "first"},
                    {"os": "linux", "architecture": "x86_64", "url": "second"}]},
        {"builds": [{"os": "linux", "architecture": "i386", "url": "old"}]}
    ]})");
    const TPackageBuild* pBuild = pBuilds->packages()[0]->platformBuild();
    QVERIFY(pBuild);
    QCOMPARE(pBuild->packageConfigurationUrl().path(), QStringLiteral("/launcher/first"));
    QVERIFY(!pBuilds->packages()[1]->platformBuild());
    QCOMPARE(pBuilds->packages()[0]->buildFor(Windows, X86_64)->packageConfigurationUrl().path(), QStringLiteral("/launcher/w"));
}

void tst_LauncherConfiguration::buildAddressesResolveAgainstBase_data()
{
    QTest::addColumn<QUrl>("oBase");
    QTest::addColumn<QByteArray>("aBuild");
    QTest::addColumn<QUrl>("oExpected");
    const QUrl oSlash(QStringLiteral("https://cdn.invalid:8443/launcher/"));
    const QUrl oNoSlash(QStringLiteral("https://cdn.invalid:8443/launcher"));
    const QUrl oExpected(QStringLiteral("https://cdn.invalid:8443/launcher/client/package.json"));
    QTest::newRow("base with slash") << oSlash << QByteArray(R"({"url":"client/package.json"})") << oExpected;
    QTest::newRow("base without slash") << oNoSlash << QByteArray(R"({"url":"client/package.json"})") << oExpected;
    QTest::newRow("query of address dropped") << oSlash << QByteArray(R"({"url":"client/package.json?v=2"})") << oExpected;
    QTest::newRow("query of base dropped") << QUrl(QStringLiteral("https://cdn.invalid:8443/launcher/?token=1"))
                                           << QByteArray(R"({"url":"client/package.json"})") << oExpected;
    QTest::newRow("absolute address kept")
        << oSlash << QByteArray(R"({"url":"http://other.invalid/x/package.json?v=2"})")
        << QUrl(QStringLiteral("http://other.invalid/x/package.json?v=2"));
    QTest::newRow("rooted address appended")
        << oNoSlash << QByteArray(R"({"url":"/client/package.json"})") << oExpected;
    QTest::newRow("network-path address stays on the base host")
        << oSlash << QByteArray(R"({"url":"//evil.invalid/package.json"})")
        << QUrl(QStringLiteral("https://cdn.invalid:8443/launcher//package.json"));
    QTest::newRow("encoded characters decoded once")
        << oSlash << QByteArray(R"({"url":"client%20one/package.json"})")
        << QUrl(QStringLiteral("https://cdn.invalid:8443/launcher/client%20one/package.json"));
}

void tst_LauncherConfiguration::buildAddressesResolveAgainstBase()
{
    QFETCH(QUrl, oBase);
    QFETCH(QByteArray, aBuild);
    QFETCH(QUrl, oExpected);
    const auto pReader = read(R"({"packages":[{"builds":[)" + aBuild + "]}]}", oBase);
    const TPackageBuild& oBuild = *pReader->packages()[0]->builds()[0];
    QCOMPARE(oBuild.packageConfigurationUrl(), oExpected);
    QVERIFY(oBuild.assetConfigurationUrl().isEmpty());
}

void tst_LauncherConfiguration::buildMirrorsAreChecked_data()
{
    QTest::addColumn<QByteArray>("aBuild");
    QTest::addColumn<QStringList>("lExpected");
    const QByteArray aHttps = R"("url": "https://cdn.invalid/live/package.json")";
    const QByteArray aHttp = R"("url": "http://cdn.invalid/live/package.json")";
    QTest::newRow("none") << aHttps << QStringList();
    QTest::newRow("in order, folders end in a slash")
        << aHttps + R"(, "mirrors": ["https://m1.invalid/live", "https://m2.invalid:8443/a/b/?token=1"])"
        << QStringList{QStringLiteral("https://m1.invalid/live/"), QStringLiteral("https://m2.invalid:8443/a/b/")};
    QTest::newRow("http mirror of an https document") << aHttps + R"(, "mirrors": ["http://m1.invalid/", "https://m2.invalid/"])"
                                                      << QStringList{QStringLiteral("https://m2.invalid/")};
    QTest::newRow("https mirror of an http document") << aHttp + R"(, "mirrors": ["https://m1.invalid/", "http://m2.invalid/"])"
                                                      << QStringList{QStringLiteral("https://m1.invalid/"), QStringLiteral("http://m2.invalid/")};
    QTest::newRow("no list") << aHttps + R"(, "mirrors": "https://m1.invalid/")" << QStringList();
    QTest::newRow("members that are no text")
        << aHttps + R"(, "mirrors": [1, null, ["https://m1.invalid/"], {"url": "https://m1.invalid/"}, "https://m2.invalid/"])"
        << QStringList{QStringLiteral("https://m2.invalid/")};
    QTest::newRow("no web addresses")
        << aHttp + R"(, "mirrors": ["ftp://m1.invalid/", "file:///srv/live/", "live/", "//m1.invalid/", "http://", ""])"
        << QStringList();
    QTest::newRow("too long") << aHttps + R"(, "mirrors": ["https://m1.invalid/)" + QByteArray(2100, 'x') + R"(", "https://m2.invalid/"])"
                              << QStringList{QStringLiteral("https://m2.invalid/")};
    QByteArray aNine;
    for (int n = 0; n < 9; ++n)
        aNine += (n ? ", " : "") + QStringLiteral("\"https://m%1.invalid/\"").arg(n).toUtf8();
    QTest::newRow("too many") << aHttps + R"(, "mirrors": [)" + aNine + "]" << QStringList();
    QTest::newRow("own folder and repeats left out")
        << aHttps + R"(, "mirrors": ["https://cdn.invalid/live/", "https://m1.invalid/", "https://m1.invalid"])"
        << QStringList{QStringLiteral("https://m1.invalid/")};
}

void tst_LauncherConfiguration::buildMirrorsAreChecked()
{
    QFETCH(QByteArray, aBuild);
    QFETCH(QStringList, lExpected);
    const auto pReader = read(R"({"packages":[{"builds":[{)" + aBuild + "}]}]}");
    QStringList lMirrors;
    for (const QUrl& oMirror : pReader->packages()[0]->builds()[0]->mirrors())
        lMirrors << oMirror.toString();
    QCOMPARE(lMirrors, lExpected);
}

void tst_LauncherConfiguration::settingsConvertAsText_data()
{
    QTest::addColumn<QByteArray>("aIni");
    QTest::addColumn<bool>("bFastScan");
    QTest::addColumn<bool>("bChunkVerification");
    QTest::addColumn<qint64>("nDownloadErrorTimeout");
    QTest::addColumn<int>("nMaxCachedChunks");

    QTest::newRow("empty is false, anything else true")
        << QByteArray("[OPTIONS]\nfastScan=\n[DEBUG]\nchunkVerification=yes please\n") << false << true << qint64(0) << 100;
    QTest::newRow("malformed number is 0")
        << QByteArray("[TIMING]\ndownloadErrorTimeout=ten\n[OPTIONS]\nmaxCachedChunks=12abc\n") << true << false
        << qint64(0) << 0;
    // Nothing is inherited from the built-in file (its timeout is not 0), and a key counts only in its own section.
    QTest::newRow("keys in other sections") << QByteArray("[URLS]\nmaxCachedChunks=3\n[TIMING]\nfastScan=false\n") << true
                                            << false << qint64(0) << 100;
    QTest::newRow("not an ini file at all") << QByteArray("\x01\x02garbage\n=\n[[") << true << false << qint64(0) << 100;
    // Read as a QSettings value, this asked for a list of billions of entries.
    QTest::newRow("binary Qt value") << readTestFile(QStringLiteral(
        CORVANE_SOURCE_DIR "/launcher/tests/launcher/documents/data/fuzzfound/launchersettings-variant-huge-list.ini"))
                                     << true << false << qint64(0) << 100;
}

void tst_LauncherConfiguration::settingsConvertAsText()
{
    QFETCH(QByteArray, aIni);
    QVERIFY(!aIni.isEmpty());
    const TFixture oFolder(aIni);
    QTEST(oFolder.settings().fastScan(), "bFastScan");
    QTEST(oFolder.settings().chunkVerification(), "bChunkVerification");
    QTEST(oFolder.settings().downloadErrorTimeout(), "nDownloadErrorTimeout");
    QTEST(oFolder.settings().maxCachedChunks(), "nMaxCachedChunks");
}

void tst_LauncherConfiguration::packagesFolderStaysInside_data()
{
    QTest::addColumn<QString>("sPackages");
    QTest::addColumn<QString>("sExpected");
    QTest::newRow("nested") << "data/packages" << "data/packages";
    QTest::newRow("climbs out") << "../../elsewhere" << "elsewhere";
    QTest::newRow("absolute") << "/tmp/outside" << "tmp/outside";
}

void tst_LauncherConfiguration::packagesFolderStaysInside()
{
    QFETCH(QString, sPackages);
    QFETCH(QString, sExpected);
    const TFixture oFolder("[DIRECTORIES]\npackages=" + sPackages.toUtf8() + "\n");
    const QDir oPackages = oFolder.m_pHelper->packagesFolder();
    QCOMPARE(oPackages.absolutePath(), QDir(oFolder.m_oFolder.path()).absoluteFilePath(sExpected));
    QVERIFY(oPackages.exists());
}

void tst_LauncherConfiguration::accountGroup_data()
{
    QTest::addColumn<QByteArray>("aContents"); // null: no file
    QTest::addColumn<QStringList>("lKeys");
    QTest::newRow("missing file") << QByteArray() << QStringList{"blub"};
    QTest::newRow("object") << QByteArray(R"({"Key":"group-7"})") << QStringList{"Key"};
    QTest::newRow("not json") << QByteArray("{oops") << QStringList();
    QTest::newRow("array") << QByteArray("[1]") << QStringList();
}

void tst_LauncherConfiguration::accountGroup()
{
    QFETCH(QByteArray, aContents);
    const bool bWrite = !aContents.isNull();
    // Without a settings file, the built-in one names the file.
    const TFixture oFolder{QByteArray()};
    if (bWrite)
        QVERIFY(writeTestFile(oFolder.path(QStringLiteral("accountgroup.json")), aContents));
    QCOMPARE(oFolder.m_pHelper->accountGroupFilePresent(), bWrite);
    QTEST(oFolder.m_pHelper->readAccountGroup().keys(), "lKeys");
}


void tst_LauncherConfiguration::refreshChangesAllOrNothing_data()
{
    QTest::addColumn<QString>("sLeaveAlone");
    QTest::addColumn<QString>("sChange");
    QTest::addColumn<bool>("bSucceeded");
    QTest::newRow("both refreshed") << "" << "" << true;
    QTest::newRow("installing left alone") << "Two" << "" << true;
    // Nothing changes unless everything arrived.
    QTest::newRow("asset document gone") << "" << "gone" << false;
    QTest::newRow("document being written") << "" << "partial" << false;
    QTest::newRow("metadata gone") << "" << "nometadata" << false;
    // A new package waits for the next start.
    QTest::newRow("new package") << "" << "newpackage" << true;
}

void tst_LauncherConfiguration::refreshChangesAllOrNothing()
{
    QFETCH(QString, sLeaveAlone);
    QFETCH(QString, sChange);
    QFETCH(bool, bSucceeded);
    const QString sFolder = QStringLiteral("refresh/%1/").arg(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    const auto write = [&](const QString& sPath, const QByteArray& aData) { return writeTestFile(m_oRoot.filePath(sFolder + sPath), aData); };
    const QByteArray aMetadata = R"({"packages": [
        {"name": "One", "directoryname": "one", "builds": [{"os": "linux", "architecture": "x86_64", "url": "one/package.json"}]},
        {"name": "Two", "directoryname": "two",
         "builds": [{"os": "linux", "architecture": "x86_64", "url": "two/package.json", "assetsurl": "two/assets.json"}]}]})";
    QVERIFY(write(QStringLiteral("metadata.json"), aMetadata));
    QVERIFY(write(QStringLiteral("one/package.json"), packageDocument("one-1")));
    QVERIFY(write(QStringLiteral("two/package.json"), packageDocument("two-1")));
    QVERIFY(write(QStringLiteral("two/assets.json"), R"({"version": "1", "files": []})"));
    TFixture oFixture(m_oServer.url(QLatin1Char('/') + sFolder + QStringLiteral("metadata.json")));
    oFixture.load();
    const auto pReader = oFixture.m_oHandler.launcherConfiguration();

    QVERIFY(write(QStringLiteral("one/package.json"), packageDocument("one-2")));
    // Cut off as a reader may find a document the publisher is still writing.
    const QByteArray aTwo = sChange == QLatin1String("partial") ? packageDocument("two-2").left(20) : packageDocument("two-2");
    QVERIFY(write(QStringLiteral("two/package.json"), aTwo));
    QVERIFY(write(QStringLiteral("two/assets.json"), R"({"version": "2", "files": []})"));
    if (sChange == QLatin1String("gone"))
        QVERIFY(QFile::remove(m_oRoot.filePath(sFolder + QStringLiteral("two/assets.json"))));
    if (sChange == QLatin1String("nometadata"))
        QVERIFY(QFile::remove(m_oRoot.filePath(sFolder + QStringLiteral("metadata.json"))));
    if (sChange == QLatin1String("newpackage")) {
        const QByteArray aThree = R"(]}, {"name": "Three", "builds": [{"os": "linux", "architecture": "x86_64", "url": "one/package.json"}]}]})";
        QVERIFY(write(QStringLiteral("metadata.json"), QByteArray(aMetadata).replace("]}]}", aThree)));
    }

    TMetadataRefresh& oRefresh = oFixture.m_oHandler.refresh();
    QSignalSpy oRefreshed(&oRefresh, &TMetadataRefresh::finished);
    oRefresh.start(pReader, [&](const TPackage& oPackage) { return oPackage.name() == sLeaveAlone; });
    QVERIFY(oRefresh.isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(oRefreshed.size(), 1, 20000);
    QVERIFY(!oRefresh.isRunning());
    QCOMPARE(oRefreshed.at(0).at(0).toBool(), bSucceeded);
    QCOMPARE(oRefreshed.at(0).at(1).toString().isEmpty(), bSucceeded);
    const auto lRefreshed = oRefreshed.at(0).at(2).value<std::vector<std::shared_ptr<TPackage>>>();
    const bool bTwoRefreshed = bSucceeded && sLeaveAlone.isEmpty();
    QCOMPARE(lRefreshed.size(), size_t(bSucceeded ? 1 + bTwoRefreshed : 0));
    QCOMPARE(oFixture.configuration(0)->versionLabel(), bSucceeded ? QStringLiteral("Pone-2 A?") : QStringLiteral("Pone-1 A?"));
    QCOMPARE(oFixture.configuration(1)->versionLabel(), bTwoRefreshed ? QStringLiteral("Ptwo-2 A2") : QStringLiteral("Ptwo-1 A1"));
    // None of the start-up's signals, and the running metadata stays as it is.
    QCOMPARE(oFixture.m_oLoaded.size(), 1);
    QCOMPARE(oFixture.m_oFinished.size(), 1);
    QCOMPARE(oFixture.m_oFailed.size(), 0);
    QCOMPARE(oFixture.m_oHandler.launcherConfiguration(), pReader);
    QCOMPARE(pReader->packages().size(), size_t(2));
    QCOMPARE(readTestFile(oFixture.path(QStringLiteral("launchermetadata.json"))), aMetadata);
}

// A player must tell their own network from the service: each way the load can
// fail without a copy to fall back on has its own reason, and the time-out is logged.
// An answer that the metadata is gone or broken fails even beside a sound local
// copy; what a misconfigured server or proxy answers with status 200 and no
// package list never replaces a good local copy, which serves as when the server is down.
void tst_LauncherConfiguration::metadataAnswerDecidesTheOutcome_data()
{
    QTest::addColumn<QString>("sServer");
    QTest::addColumn<QString>("sPath");
    QTest::addColumn<QByteArray>("aLocalCopy"); // null: none
    QTest::addColumn<QString>("sOutcome"); // "online", "offline", "disk failure" or the failure reason
    const QString sClosed = QStringLiteral("127.0.0.1:%1").arg(freeLoopbackPort());
    QTest::newRow("connection refused") << sClosed << "metadata.json" << QByteArray()
                                        << QStringLiteral("Could not connect to %1: connection refused").arg(sClosed);
    QTest::newRow("server down, local copy corrupt") << sClosed << "metadata.json" << QByteArray("{\"launcher\": ")
                                                     << "disk failure";
    QTest::newRow("name not found") << "cdn.invalid" << "metadata.json" << QByteArray()
                                    << "Could not connect to cdn.invalid: name not found";
    // The rows below are answered by the fault server: "%1" is its address.
    QTest::newRow("404, local copy") << "" << "absent.json" << kMetadata << "The metadata was not found on %1 (404)";
    QTest::newRow("empty response, local copy") << "" << "empty.json" << kMetadata << "The metadata was not found on %1 (404)";
    QTest::newRow("does not parse, local copy") << "" << "broken.json" << kMetadata << "The metadata from %1 did not parse: ";
    QTest::newRow("error object") << "" << "error.json" << QByteArray() << "The metadata from %1 lists no packages";
    QTest::newRow("error object, local copy") << "" << "error.json" << kMetadata << "offline";
    QTest::newRow("array, local copy") << "" << "array.json" << kMetadata << "offline";
    // An empty list is a list: the publisher offers no packages now.
    QTest::newRow("empty package list, local copy") << "" << "nopackages.json" << kMetadata << "online";
    QTest::newRow("no answer in time") << "" << "metadata.json" << QByteArray()
                                       << "Could not connect to %1: no answer within 0.3 seconds";
}

void tst_LauncherConfiguration::metadataAnswerDecidesTheOutcome()
{
    QFETCH(QString, sServer);
    QFETCH(QString, sPath);
    QFETCH(QByteArray, aLocalCopy);
    QFETCH(QString, sOutcome);
    TTestHttpServer oServer;
    QVERIFY(oServer.start(m_oRoot.path()));
    oServer.setResponse(QStringLiteral("/launcher/broken.json"), TCannedHttpResponse::withBody("{ not json"));
    oServer.setResponse(QStringLiteral("/launcher/error.json"),
                        TCannedHttpResponse::withBody(R"({"message": "Service Unavailable", "code": 503})"));
    oServer.setResponse(QStringLiteral("/launcher/empty.json"), TCannedHttpResponse::withBody(QByteArray()));
    oServer.setResponse(QStringLiteral("/launcher/array.json"), TCannedHttpResponse::withBody("[]"));
    oServer.setResponse(QStringLiteral("/launcher/nopackages.json"), TCannedHttpResponse::withBody(R"({"packages": []})"));
    oServer.setFaultForPrefix(QStringLiteral("launcher/metadata.json"), EHttpFault::Stall);
    if (sServer.isEmpty()) {
        sServer = QStringLiteral("127.0.0.1:%1").arg(oServer.port());
        if (sOutcome.contains(QLatin1String("%1")))
            sOutcome = sOutcome.arg(sServer);
    }
    const bool bStall = sOutcome.contains(QLatin1String("no answer"));
    if (bStall)
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(QStringLiteral("Download of configuration failed: ") + sOutcome));
    TFixture oFixture(QUrl(QStringLiteral("http://%1/launcher/%2").arg(sServer, sPath)), bStall ? 300 : 20000);
    const QString sLocalCopy = oFixture.path(QStringLiteral("launchermetadata.json"));
    if (!aLocalCopy.isNull())
        QVERIFY(writeTestFile(sLocalCopy, aLocalCopy));
    oFixture.m_oHandler.startLoadingMainConfiguration();
    QTRY_COMPARE_WITH_TIMEOUT(oFixture.outcomes(), 1, 20000);
    const auto pReader = oFixture.m_oHandler.launcherConfiguration();
    if (sOutcome == QLatin1String("disk failure")) {
        QCOMPARE(oFixture.m_oDiskFailed.size(), 1);
    } else if (sOutcome == QLatin1String("online") || sOutcome == QLatin1String("offline")) {
        QCOMPARE(oFixture.m_oLoaded.size(), 1);
        QCOMPARE(oFixture.m_oHandler.isOffline(), sOutcome == QLatin1String("offline"));
    } else {
        QCOMPARE(oFixture.m_oFailed.size(), 1);
        QVERIFY2(oFixture.m_oHandler.failureReason().startsWith(sOutcome), qPrintable(oFixture.m_oHandler.failureReason()));
    }
    QCOMPARE(bool(pReader), oFixture.m_oLoaded.size() == 1);
    QCOMPARE(readTestFile(sLocalCopy), sOutcome == QLatin1String("online") ? pReader->document() : aLocalCopy);
}

QTEST_MAIN(tst_LauncherConfiguration)
#include "tst_launcherconfiguration.moc"
