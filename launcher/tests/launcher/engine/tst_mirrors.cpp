// Chunks fetched from mirrors of the package document's folder: corvane-install
// with our fault server as the documents' own server and nginx as the mirror.

#include "installbed.h"
#include "testhttpserver.h"
#include "testseams.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace {

// The URL paths an install of the published folder fetches: every chunk of a
// file of two or more, the packed form of any other file. The chunks of
// sFirst, a file of several, come first.
QStringList fetchedAddresses(const TInstallBed& oBed, const QString& sFirst)
{
    const auto pReader = readPublished(oBed.cdn() + QStringLiteral("/live"), QUrl(QStringLiteral("http://x/live/")));
    QStringList lPaths;
    for (const auto& oFile : pReader->files()) {
        if (oFile.chunks().size() < 2) {
            if (oFile.packedForm().hasUrl())
                lPaths << pReader->url(oFile.packedForm()).path().mid(1);
            continue;
        }
        for (const qint32 nIndex : oFile.chunks()) {
            const QString sPath = pReader->url(pReader->chunks()[size_t(nIndex)]).path().mid(1);
            if (oFile.localFile() == sFirst)
                lPaths.insert(0, sPath);
            else
                lPaths << sPath;
        }
    }
    return lPaths;
}

// The distinct chunk paths among served paths, without the leading "/".
QSet<QString> chunkPaths(const QStringList& lServed)
{
    QSet<QString> lChunks;
    for (const QString& sPath : lServed) {
        if (sPath.contains(QLatin1String("/chunks/")))
            lChunks << (sPath.startsWith(QLatin1Char('/')) ? sPath.mid(1) : sPath);
    }
    return lChunks;
}

} // namespace

class tst_Mirrors : public QObject
{
    Q_OBJECT

private slots:
    void chunksComeFromAMirror_data();
    void chunksComeFromAMirror();
    void commandLineMirrorsAreChecked_data();
    void commandLineMirrorsAreChecked();
};

void tst_Mirrors::chunksComeFromAMirror_data()
{
    QTest::addColumn<QString>("sFaulty");  // "all" for every chunk, "one" for one chunk of the assets, "" for none
    QTest::addColumn<int>("nFault");
    QTest::addColumn<bool>("bPrimaryGoes"); // the documents' server stops once they were read
    QTest::addColumn<bool>("bAbsolute");    // the faulty chunk's address is written absolute
    QTest::addColumn<bool>("bFromMetadata");
    QTest::addColumn<bool>("bInstalls");
    const int nNone = int(EHttpFault::None);
    QTest::newRow("primary refuses connections") << "" << nNone << true << false << false << true;
    QTest::newRow("primary 503 for every chunk") << "all" << int(EHttpFault::ServerError) << false << false << false << true;
    QTest::newRow("primary cuts every chunk short") << "all" << int(EHttpFault::Truncate) << false << false << false << true;
    QTest::newRow("primary stalls every chunk") << "all" << int(EHttpFault::Stall) << false << false << false << true;
    QTest::newRow("primary serves wrong bytes for one chunk") << "one" << int(EHttpFault::WrongBytes) << false << false << false << true;
    QTest::newRow("mirrors from the metadata") << "all" << int(EHttpFault::ServerError) << false << false << true << true;
    // An absolute address is fetched only from where it points, whatever it brings.
    QTest::newRow("absolute address not mirrored") << "one" << int(EHttpFault::WrongBytes) << false << true << false << false;
}

void tst_Mirrors::chunksComeFromAMirror()
{
    QFETCH(QString, sFaulty);
    QFETCH(int, nFault);
    QFETCH(bool, bPrimaryGoes);
    QFETCH(bool, bAbsolute);
    QFETCH(bool, bFromMetadata);
    QFETCH(bool, bInstalls);
    if (bPrimaryGoes)
        CORVANE_SKIP_WITHOUT_SEAM("CORVANE_STOP_AT");
    TInstallBed oBed;
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(30 << 20, 4));
    oBed.writeSource(QStringLiteral("data/small.txt"), "small\n");
    QVERIFY(oBed.publish(QStringLiteral("1"), QStringLiteral("store")).nExitCode == 0);
    // The mirror: nginx on the same folder.
    QVERIFY2(oBed.serve(), qPrintable(oBed.nginx().errorString()));
    const QString sMirror = oBed.nginx().url(QStringLiteral("/live/")).toString();
    auto pPrimary = std::make_unique<TTestHttpServer>();
    QVERIFY(pPrimary->start(oBed.cdn()));
    oBed.serveFrom(pPrimary->url(QString()));

    // A chunk of a file of several, from the asset document.
    const QStringList lAddresses = fetchedAddresses(oBed, QStringLiteral("data/world.pak"));
    const QString sOne = lAddresses.value(0);
    QVERIFY(!sOne.isEmpty());
    if (sFaulty == QLatin1String("all"))
        pPrimary->setFaultForPrefix(QStringLiteral("live/chunks/"), EHttpFault(nFault));
    else if (sFaulty == QLatin1String("one"))
        pPrimary->setFaultForPrefix(sOne, EHttpFault(nFault));
    if (bAbsolute) {
        const QString sAssets = oBed.cdn() + QStringLiteral("/live/assets.json");
        QByteArray aAssets = readTestFile(sAssets);
        const QByteArray aRelative = '"' + sOne.mid(5).toUtf8() + '"';
        QVERIFY(aAssets.contains(aRelative));
        aAssets.replace(aRelative, '"' + pPrimary->url(sOne).toEncoded() + '"');
        QVERIFY(writeTestFile(sAssets, aAssets));
    }
    const QStringList lSettings = oBed.quickStallSettings();
    QVERIFY(!lSettings.isEmpty());

    QStringList lArguments;
    if (bFromMetadata) {
        const QByteArray aMetadata = R"({"packages": [{"name": "Live", "builds": [{"os": "linux", "architecture": "x86_64",
            "url": "live/package.json", "assetsurl": "live/assets.json", "mirrors": [")" + sMirror.toUtf8() + R"("]}]}]})";
        QVERIFY(writeTestFile(oBed.cdn() + QStringLiteral("/launchermetadata.json"), aMetadata));
        lArguments << QStringLiteral("install") << oBed.folder() << QStringLiteral("--metadata")
                   << pPrimary->url(QStringLiteral("launchermetadata.json")).toString() << QStringLiteral("--package")
                   << QStringLiteral("Live") << QStringLiteral("--state") << oBed.path(QStringLiteral("state.ini"));
    } else {
        lArguments << oBed.installArguments(QStringLiteral("install")) << QStringLiteral("--mirror") << sMirror;
    }
    lArguments << lSettings << QStringLiteral("--jobs") << QStringLiteral("2") << QStringLiteral("--verbose");
    QProcess oInstall;
    QProcessEnvironment oEnvironment = QProcessEnvironment::systemEnvironment();
    oEnvironment.insert(oBed.installEnvironment());
    if (bPrimaryGoes)
        oEnvironment.insert(QStringLiteral("CORVANE_STOP_AT"), QStringLiteral("scan-done"));
    oInstall.setProcessEnvironment(oEnvironment);
    oInstall.start(builtExecutable(QStringLiteral("corvane-install")), lArguments);
    QString sErr;
    if (bPrimaryGoes) {
        // The sync point: the documents were read, no chunk was asked for yet.
        QVERIFY2(waitForLine(oInstall, QStringLiteral("stopped at scan-done"), sErr), qPrintable(sErr));
        pPrimary.reset();
        oInstall.write("\n");
    }
    QVERIFY(oInstall.waitForFinished(120000));
    sErr += QString::fromUtf8(oInstall.readAllStandardError());
    const QSet<QString> lFromMirror = chunkPaths(oBed.nginx().servedPaths());
    QStringList lPrimaryPaths;
    for (const TRecordedHttpRequest& oRequest : pPrimary ? pPrimary->requests() : QList<TRecordedHttpRequest>())
        lPrimaryPaths << oRequest.path();
    const QSet<QString> lFromPrimary = chunkPaths(lPrimaryPaths);

    if (!bInstalls) {
        QVERIFY2(oInstall.exitCode() == 1, qPrintable(sErr.right(3000)));
        QVERIFY(lFromPrimary.contains(sOne));
        QVERIFY2(!lFromMirror.contains(sOne), qPrintable(sErr.right(3000)));
        return;
    }
    QVERIFY2(oInstall.exitCode() == 0, qPrintable(sErr.right(3000)));
    QVERIFY(oBed.installedAsPublished());
    // A mirror's try is no attempt of the chunk's four: none was counted.
    QVERIFY2(!sErr.contains(QLatin1String("Retry ")), qPrintable(sErr.right(3000)));
    const QSet<QString> lAll(lAddresses.begin(), lAddresses.end());
    if (sFaulty == QLatin1String("one")) {
        QCOMPARE(lFromMirror, QSet<QString>{sOne});
        return;
    }
    QCOMPARE(lFromMirror, lAll);
    // Two failures in a row and the primary goes last. With two jobs, the
    // first chunk may be refused, fetched from the mirror and its slot given
    // to a third chunk before the second refusal arrives: at most one more
    // than the jobs is ever asked of the primary.
    QVERIFY2(lFromPrimary.size() <= 3, qPrintable(QStringList(lFromPrimary.values()).join(QLatin1Char(' '))));
}

void tst_Mirrors::commandLineMirrorsAreChecked_data()
{
    QTest::addColumn<QString>("sDocument");
    QTest::addColumn<QStringList>("lMirrors");
    QTest::addColumn<QString>("sNamed");
    const QString sHttps = QStringLiteral("https://cdn.invalid/live/package.json");
    const QString sHttp = QStringLiteral("http://cdn.invalid/live/package.json");
    QTest::newRow("http mirror of an https document") << sHttps << QStringList{QStringLiteral("http://m.invalid/live/")}
                                                      << "no https address";
    QTest::newRow("no web address") << sHttp << QStringList{QStringLiteral("ftp://m.invalid/live/")} << "no absolute http";
    QTest::newRow("local folder") << sHttp << QStringList{QStringLiteral("file:///srv/live/")} << "no absolute http";
    QTest::newRow("relative") << sHttp << QStringList{QStringLiteral("live/")} << "no absolute http";
    QTest::newRow("too long") << sHttp << QStringList{QStringLiteral("http://m.invalid/") + QString(3000, QLatin1Char('x'))}
                              << "longer than 2048";
    QStringList lNine;
    for (int n = 0; n < 9; ++n)
        lNine << QStringLiteral("http://m%1.invalid/").arg(n);
    QTest::newRow("too many") << sHttp << lNine << "At most 8";
}

void tst_Mirrors::commandLineMirrorsAreChecked()
{
    QFETCH(QString, sDocument);
    QFETCH(QStringList, lMirrors);
    QFETCH(QString, sNamed);
    QTemporaryDir oFolder;
    QStringList lArguments{QStringLiteral("install"), sDocument, oFolder.filePath(QStringLiteral("live"))};
    for (const QString& sMirror : lMirrors)
        lArguments << QStringLiteral("--mirror") << sMirror;
    const TToolRun oRun = runBuiltTool(QStringLiteral("corvane-install"), lArguments);
    QVERIFY2(oRun.nExitCode == 2, qPrintable(oRun.describe()));
    QVERIFY2(oRun.sErr.contains(sNamed), qPrintable(oRun.sErr));
    QVERIFY(!QFileInfo::exists(oFolder.filePath(QStringLiteral("live"))));
}

QTEST_GUILESS_MAIN(tst_Mirrors)
#include "tst_mirrors.moc"
