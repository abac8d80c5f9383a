#include "publishtool.h"

#include "launcher/launcherconfigurationreader.h"
#include "launcher/packagebuild.h"

#include <QTemporaryDir>
#include <QtTest>

using velmar::launcher::TLauncherConfigurationReader;
using velmar::launcher::TPackage;
using velmar::launcher::TPackageBuild;

namespace {

const QUrl kBase(QStringLiteral("https://cdn.example.invalid/launcher/"));

} // namespace

class TPublishMetadataTest : public QObject
{
    Q_OBJECT

private slots:
    void launcherReadsWhatWasWritten();
    void emptyDocument();
    void wrongCommandLines_data();
    void wrongCommandLines();
};

void TPublishMetadataTest::launcherReadsWhatWasWritten()
{
    QTemporaryDir oDir;
    const QString sOutput = oDir.filePath(QStringLiteral("launchermetadata.json"));
    const QString sAwkwardName = QString::fromUtf8("Corvane \"Beta\" – Ωmega\\");
    const QStringList lArguments{
        QStringLiteral("metadata"),
        QStringLiteral("--out"), sOutput,
        QStringLiteral("--launcher-url"), QStringLiteral("self/package.json"),
        QStringLiteral("--launcher-name"), QStringLiteral("Launcher"),
        QStringLiteral("--launcher-directory"), QStringLiteral("launcher"),
        QStringLiteral("--package"), QStringLiteral("Corvane Online"),
        QStringLiteral("--directory"), QStringLiteral("live"),
        QStringLiteral("--url"), QStringLiteral("live/package.json"),
        QStringLiteral("--assets-url"), QStringLiteral("live/assets.json"),
        QStringLiteral("--install-automatically"),
        QStringLiteral("--logo-link"), QStringLiteral("https://corvane.example.invalid/"),
        QStringLiteral("--package=") + sAwkwardName,
        QStringLiteral("--directory=beta"),
        QStringLiteral("--url"), QStringLiteral("https://other.example.invalid/beta/package.json"),
        QStringLiteral("--hints"), QStringLiteral("https://news.example.invalid/hints.json"),
        QStringLiteral("--funnel"), QStringLiteral("https://stats.example.invalid/funnel"),
        QStringLiteral("--hardwaresurvey"), QStringLiteral("https://stats.example.invalid/survey"),
        QStringLiteral("--show-package-names"),
    };
    const TToolRun oRun = runPublish(lArguments);
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    // The documents named do not exist next to it: the tool says so.
    QVERIFY2(oRun.sErr.contains(QStringLiteral("'live/package.json' does not exist")), qPrintable(oRun.describe()));

    const QByteArray aDocument = readTestFile(sOutput);
    const TLauncherConfigurationReader oReader(aDocument, kBase);
    QVERIFY(oReader.launcherPackage());
    const TPackage& oLauncher = *oReader.launcherPackage();
    QCOMPARE(oLauncher.index(), TPackage::kLauncherIndex);
    QCOMPARE(oLauncher.name(), QStringLiteral("Launcher"));
    QCOMPARE(oLauncher.directoryName(), QStringLiteral("launcher"));
    QVERIFY(oLauncher.platformBuild());
    QCOMPARE(oLauncher.platformBuild()->packageConfigurationUrl(),
             QUrl(QStringLiteral("https://cdn.example.invalid/launcher/self/package.json")));
    QVERIFY(oLauncher.platformBuild()->assetConfigurationUrl().isEmpty());

    QCOMPARE(oReader.packages().size(), size_t(2));
    const TPackage& oLive = *oReader.packages()[0];
    QCOMPARE(oLive.name(), QStringLiteral("Corvane Online"));
    QCOMPARE(oLive.directoryName(), QStringLiteral("live"));
    QVERIFY(oLive.installAutomatically());
    QCOMPARE(oLive.logoLinkTarget(), QUrl(QStringLiteral("https://corvane.example.invalid/")));
    QCOMPARE(oLive.builds().size(), size_t(1));
    const TPackageBuild* pBuild = oLive.platformBuild();
    QVERIFY(pBuild);
    QCOMPARE(pBuild->operatingSystem(), velmar::launcher::Linux);
    QCOMPARE(pBuild->architecture(), velmar::launcher::X86_64);
    QCOMPARE(pBuild->packageConfigurationUrl(), QUrl(QStringLiteral("https://cdn.example.invalid/launcher/live/package.json")));
    QCOMPARE(pBuild->assetConfigurationUrl(), QUrl(QStringLiteral("https://cdn.example.invalid/launcher/live/assets.json")));

    const TPackage& oBeta = *oReader.packages()[1];
    QCOMPARE(oBeta.name(), sAwkwardName);
    QCOMPARE(oBeta.directoryName(), QStringLiteral("beta"));
    QVERIFY(!oBeta.installAutomatically());
    QVERIFY(oBeta.platformBuild());
    QCOMPARE(oBeta.platformBuild()->packageConfigurationUrl(),
             QUrl(QStringLiteral("https://other.example.invalid/beta/package.json")));

    QCOMPARE(oReader.hintsUrl(), QUrl(QStringLiteral("https://news.example.invalid/hints.json")));
    QCOMPARE(oReader.funnelUrl(), QUrl(QStringLiteral("https://stats.example.invalid/funnel")));
    QCOMPARE(oReader.hardwareSurveyUrl(), QUrl(QStringLiteral("https://stats.example.invalid/survey")));
    QVERIFY(oReader.showPackageNames());
    QVERIFY(!oReader.preventDefaultAutostart());

    // The same options give the same bytes.
    QVERIFY(runPublish(lArguments).nExitCode == 0);
    QCOMPARE(readTestFile(sOutput), aDocument);
}

void TPublishMetadataTest::emptyDocument()
{
    QTemporaryDir oDir;
    const QString sOutput = oDir.filePath(QStringLiteral("meta.json"));
    const TToolRun oRun = runPublish({QStringLiteral("metadata"), QStringLiteral("--out"), sOutput,
                                      QStringLiteral("--prevent-default-autostart")});
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    const TLauncherConfigurationReader oReader(readTestFile(sOutput), kBase);
    QVERIFY(!oReader.launcherPackage());
    QVERIFY(oReader.packages().empty());
    QVERIFY(oReader.hintsUrl().isEmpty() && oReader.funnelUrl().isEmpty() && oReader.hardwareSurveyUrl().isEmpty());
    QVERIFY(oReader.preventDefaultAutostart());
    QVERIFY(!oReader.showPackageNames());
}

void TPublishMetadataTest::wrongCommandLines_data()
{
    QTest::addColumn<QStringList>("lArguments");
    QTest::addColumn<QString>("sMessage");
    const QStringList lPackage{QStringLiteral("--package"), QStringLiteral("P"), QStringLiteral("--directory"),
                               QStringLiteral("p"), QStringLiteral("--url"), QStringLiteral("p/package.json")};
    QTest::newRow("no output") << lPackage << QStringLiteral("--out is required");
    QTest::newRow("package option first") << QStringList{QStringLiteral("--directory"), QStringLiteral("p")}
                                          << QStringLiteral("--directory belongs to a package");
    QTest::newRow("no url") << QStringList{QStringLiteral("--package"), QStringLiteral("P"), QStringLiteral("--directory"),
                                           QStringLiteral("p")}
                            << QStringLiteral("--url must be");
    QTest::newRow("folder path") << QStringList{QStringLiteral("--package"), QStringLiteral("P"), QStringLiteral("--directory"),
                                                QStringLiteral("../p"), QStringLiteral("--url"), QStringLiteral("x")}
                                 << QStringLiteral("--directory must be one folder name");
    QTest::newRow("same folder twice") << lPackage + lPackage << QStringLiteral("another package already installs into 'p'");
    QTest::newRow("relative hints") << lPackage + QStringList{QStringLiteral("--hints"), QStringLiteral("hints.json")}
                                    << QStringLiteral("is not an http(s) URL");
    QTest::newRow("flag with a value") << lPackage + QStringList{QStringLiteral("--show-package-names=yes")}
                                       << QStringLiteral("takes no value");
    QTest::newRow("launcher options without its url")
        << QStringList{QStringLiteral("--launcher-name"), QStringLiteral("L")} << QStringLiteral("need --launcher-url");
    QTest::newRow("missing value") << lPackage + QStringList{QStringLiteral("--funnel")} << QStringLiteral("--funnel needs a value");
    QTest::newRow("unknown") << lPackage + QStringList{QStringLiteral("--colour")} << QStringLiteral("Unknown argument '--colour'");
}

void TPublishMetadataTest::wrongCommandLines()
{
    QFETCH(QStringList, lArguments);
    QFETCH(QString, sMessage);
    QTemporaryDir oDir;
    const QString sOutput = oDir.filePath(QStringLiteral("meta.json"));
    QStringList lAll{QStringLiteral("metadata")};
    if (sMessage != QLatin1String("--out is required"))
        lAll << QStringLiteral("--out") << sOutput;
    const TToolRun oRun = runPublish(lAll + lArguments);
    QVERIFY2(oRun.nExitCode == 2 && oRun.sErr.contains(sMessage), qPrintable(oRun.describe()));
    QVERIFY(!QFileInfo::exists(sOutput));
}

QTEST_GUILESS_MAIN(TPublishMetadataTest)
#include "tst_publishmetadata.moc"
