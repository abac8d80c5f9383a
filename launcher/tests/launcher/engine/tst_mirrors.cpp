// Chunks fetched from mirrors of the package document's folder: corvane-install
// with our fault server as the documents' own server and nginx as the mirror.

#include "installbed.h"
#include "testhttpserver.h"
#include "testseams.h"

#include <memory>

namespace {

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
    // "gone": the documents' server stops once they were read; "all": every chunk
    // is faulty there; "one": one chunk of the assets; "absolute": that one, its
    // address written absolute.
    QTest::addColumn<QString>("sFaulty");
    QTest::addColumn<int>("nFault");
    QTest::addColumn<bool>("bFromMetadata");
    QTest::newRow("primary refuses connections") << "gone" << int(EHttpFault::None) << false;
    QTest::newRow("primary 503 for every chunk") << "all" << int(EHttpFault::ServerError) << false;
    QTest::newRow("primary cuts every chunk short") << "all" << int(EHttpFault::Truncate) << false;
    QTest::newRow("primary stalls every chunk") << "all" << int(EHttpFault::Stall) << false;
    QTest::newRow("primary serves wrong bytes for one chunk") << "one" << int(EHttpFault::WrongBytes) << false;
    QTest::newRow("mirrors from the metadata") << "all" << int(EHttpFault::ServerError) << true;
    // An absolute address is fetched only from where it points, whatever it brings.
    QTest::newRow("absolute address not mirrored") << "absolute" << int(EHttpFault::WrongBytes) << false;
}

void tst_Mirrors::chunksComeFromAMirror()
{
    QFETCH(QString, sFaulty);
    QFETCH(int, nFault);
    QFETCH(bool, bFromMetadata);
    const bool bPrimaryGoes = sFaulty == QLatin1String("gone");
    const bool bAbsolute = sFaulty == QLatin1String("absolute");
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
    const auto pReader = readPublished(oBed.cdn() + QStringLiteral("/live"), QUrl(QStringLiteral("http://x/live/")));
    QString sOne;
    for (const auto& oFile : pReader->files()) {
        if (oFile.localFile() == QLatin1String("data/world.pak") && oFile.chunks().size() > 1)
            sOne = pReader->url(pReader->chunks()[size_t(oFile.chunks().front())]).path().mid(1);
    }
    QVERIFY(!sOne.isEmpty());
    if (!bPrimaryGoes)
        pPrimary->setFaultForPrefix(sFaulty == QLatin1String("all") ? QStringLiteral("live/chunks/") : sOne, EHttpFault(nFault));
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

    if (bAbsolute) {
        QVERIFY2(oInstall.exitCode() == 1, qPrintable(sErr.right(3000)));
        QVERIFY(lFromPrimary.contains(sOne));
        QVERIFY2(!lFromMirror.contains(sOne), qPrintable(sErr.right(3000)));
        return;
    }
    QVERIFY2(oInstall.exitCode() == 0, qPrintable(sErr.right(3000)));
    QVERIFY(oBed.installedAsPublished());
    // A mirror's try is no attempt of the chunk's four: none was counted.
    QVERIFY2(!sErr.contains(QLatin1String("Retry ")), qPrintable(sErr.right(3000)));
    const bool bOne = sFaulty == QLatin1String("one");
    // Every chunk, and the packed form of every file of one, from the mirror.
    QCOMPARE(lFromMirror, bOne ? QSet<QString>{sOne} : chunkPaths(TInstallBed::addressesInPlace(oBed.folder(), *pReader).values()));
    // Two failures in a row and the primary goes last. With two jobs, the
    // first chunk may be refused, fetched from the mirror and its slot given
    // to a third chunk before the second refusal arrives: at most one more
    // than the jobs is ever asked of the primary.
    QVERIFY2(bOne || lFromPrimary.size() <= 3, qPrintable(QStringList(lFromPrimary.values()).join(QLatin1Char(' '))));
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
