#include "launcher/launcherconfigurationexception.h"
#include "launcher/launcherconfigurationreader.h"

#include <QtTest>

using namespace velmar::launcher;

namespace {

const QUrl kBase(QStringLiteral("https://cdn.invalid/launcher/"));

std::unique_ptr<TLauncherConfigurationReader> read(const QByteArray& aJson, const QUrl& oBase = kBase)
{
    return std::make_unique<TLauncherConfigurationReader>(aJson, oBase);
}

QByteArray withBuild(const QByteArray& aBuild)
{
    return R"({"packages":[{"builds":[)" + aBuild + "]}]}";
}

} // namespace

class tst_LauncherConfigurationReader : public QObject
{
    Q_OBJECT

private slots:
    void invalidJsonThrows();
    void packagesAndBuildsReadInOrder();
    void buildAddressesResolveAgainstBase_data();
    void buildAddressesResolveAgainstBase();
    void buildSelectionTakesFirstMatch();
};

void tst_LauncherConfigurationReader::invalidJsonThrows()
{
    for (const QByteArray& aJson : {QByteArray("{\"packages\": [}"), QByteArray(), QByteArray("\"text\""),
                                    QByteArray(100000, '[')})
        QVERIFY_EXCEPTION_THROWN(read(aJson), TLauncherConfigurationException);
}

// Every field's reading is also checked on what corvane-publish metadata writes;
// here what that tool never writes.
void tst_LauncherConfigurationReader::packagesAndBuildsReadInOrder()
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
    // A build for another system is kept, but is not this platform's.
    QCOMPARE(pReader->packages()[0]->builds().size(), size_t(1));
    QVERIFY(!pReader->packages()[0]->platformBuild());
    // The hints address is taken as written, not resolved.
    QCOMPARE(pReader->hintsUrl(), QUrl(QStringLiteral("hints.json")));

    const TPackage& oBuilds = *pReader->packages()[2];
    QCOMPARE(oBuilds.builds().size(), size_t(2));
    QCOMPARE(oBuilds.builds()[0]->operatingSystem(), UnknownOperatingSystem);
    QCOMPARE(oBuilds.builds()[0]->architecture(), UnknownArchitecture);
    // An empty asset address is no asset document, not the metadata's own folder.
    QVERIFY(oBuilds.builds()[0]->assetConfigurationUrl().isEmpty());
    QCOMPARE(oBuilds.builds()[1]->packageConfigurationUrl(), kBase);
}

void tst_LauncherConfigurationReader::buildAddressesResolveAgainstBase_data()
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

void tst_LauncherConfigurationReader::buildAddressesResolveAgainstBase()
{
    QFETCH(QUrl, oBase);
    QFETCH(QByteArray, aBuild);
    QFETCH(QUrl, oExpected);
    const auto pReader = read(withBuild(aBuild), oBase);
    const TPackageBuild& oBuild = *pReader->packages()[0]->builds()[0];
    QCOMPARE(oBuild.packageConfigurationUrl(), oExpected);
    QVERIFY(oBuild.assetConfigurationUrl().isEmpty());
}

void tst_LauncherConfigurationReader::buildSelectionTakesFirstMatch()
{
    const auto pReader = read(R"({"packages": [
        {"builds": [{"os": "windows", "architecture": "x86_64", "url": "w"},
                    {"os": "Linux", "architecture": "x86_64", "url": "first"},
                    {"os": "linux", "architecture": "x86_64", "url": "second"}]},
        {"builds": [{"os": "linux", "architecture": "i386", "url": "old"}]}
    ]})");
    const TPackageBuild* pBuild = pReader->packages()[0]->platformBuild();
    QVERIFY(pBuild);
    QCOMPARE(pBuild->packageConfigurationUrl().path(), QStringLiteral("/launcher/first"));
    QVERIFY(!pReader->packages()[1]->platformBuild());
    QCOMPARE(pReader->packages()[0]->buildFor(Windows, X86_64)->packageConfigurationUrl().path(), QStringLiteral("/launcher/w"));
}

QTEST_MAIN(tst_LauncherConfigurationReader)
#include "tst_launcherconfigurationreader.moc"
