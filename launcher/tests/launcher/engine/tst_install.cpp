// The install engine end to end, through corvane-install against a CDN folder
// that corvane-publish wrote and nginx serves; and the installation manager's
// decisions that need no download.

#include "installbed.h"
#include "onepackagelauncher.h"
#include "testhttpserver.h"
#include "testpool.h"
#include "testseams.h"

#include "launcher/engine/installationmanager.h"
#include "launcher/documents/launcherfilesystemhelper.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "launcher/engine/packagefiledownloader.h"
#include "launcher/engine/packageinstallation.h"

#include "shared/confinedfolder.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QThreadPool>

#include <csignal>

#include <sys/stat.h>

using namespace velmar::launcher;

namespace {

// A client of two big chunked files and a few small ones; data/ holds the assets.
void makeVersionOne(TInstallBed& oBed)
{
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\necho running\n", true);
    oBed.writeSource(QStringLiteral("bin/libgame.so"), noiseBytes(200000, 1) + QByteArray(100000, 'x'));
    oBed.writeSource(QStringLiteral("empty.cfg"), QByteArray());
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(13 << 20, 2));
    oBed.writeSource(QStringLiteral("data/music.ogg"), noiseBytes(9 << 20, 3));
    oBed.writeSource(QStringLiteral("data/old.txt"), "goes away\n");
}

// A program and one asset of nWorld bytes (beside whatever source/ holds already), published as version 1.
bool publishSmallClient(TInstallBed& oBed, int nWorld, int nSeed, const QString& sMethod = QStringLiteral("deflate"))
{
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(nWorld, nSeed));
    return oBed.publish(QStringLiteral("1"), sMethod).nExitCode == 0;
}

// What the bed's CDN publishes, with the addresses as served.
std::unique_ptr<TPackageConfigurationReader> livePublished(const TInstallBed& oBed)
{
    return readPublished(oBed.cdn() + QStringLiteral("/live"), QUrl(QStringLiteral("http://x/live/")));
}

// A run that did not finish leaves the partial marker and no full one.
bool leftPartial(const QString& sFolder)
{
    return QFileInfo::exists(sFolder + QStringLiteral("/partial-package.json")) && !QFileInfo::exists(sFolder + QStringLiteral("/package.json"));
}

// Unpacked hashes of the chunks the documents list for one file.
QSet<QByteArray> chunksOf(const TPackageConfigurationReader& oReader, const QString& sFile)
{
    QSet<QByteArray> lHashes;
    for (const auto& oFile : oReader.files()) {
        if (oFile.localFile() != sFile)
            continue;
        for (const qint32 nIndex : oFile.chunks())
            lHashes << oReader.chunks()[size_t(nIndex)].unpackedHash().toByteArray();
    }
    return lHashes;
}

// Damage as a disk or a player does it: one bit of one byte.
bool flipByte(const QString& sPath, qint64 nOffset)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadWrite) || !oFile.seek(nOffset))
        return false;
    const QByteArray aByte = oFile.peek(1);
    return aByte.size() == 1 && oFile.write(QByteArray(1, char(aByte.at(0) ^ 0x40))) == 1;
}

// The chunk addresses the server was asked for, from request nFirst on.
QStringList chunkRequests(const TTestHttpServer& oServer, int nFirst = 0)
{
    QStringList lPaths;
    const QList<TRecordedHttpRequest> lRequests = oServer.requests();
    for (int nRequest = nFirst; nRequest < lRequests.size(); ++nRequest) {
        if (lRequests[nRequest].path().contains(QLatin1String("/chunks/")))
            lPaths << QLatin1Char('/') + lRequests[nRequest].path();
    }
    return lPaths;
}

// Version 1 published, served and installed.
bool installVersionOne(TInstallBed& oBed)
{
    makeVersionOne(oBed);
    return oBed.serve() && oBed.publish(QStringLiteral("1")).nExitCode == 0
           && oBed.install(QStringLiteral("install")).nExitCode == 0;
}

} // namespace

class tst_Install : public QObject
{
    Q_OBJECT

private slots:
    void freshInstallMixesEveryMethod();
    void updateFetchesOnlyMissingChunks();
    void verifyFindsDamageAndRepairFetchesOneChunk();
    void brokenOffUpdateResumes_data();
    void brokenOffUpdateResumes();
    void unreadableInstalledFileIsFetchedAgain();
    void programWithoutItsFlagFailsVerification_data();
    void programWithoutItsFlagFailsVerification();
    void goingInstallationStopsReading_data();
    void goingInstallationStopsReading();
    void hostileDocumentIsRefused_data();
    void hostileDocumentIsRefused();
    void localMediaNameOnlyTheirOwnFiles();
    void launcherRefusesBeforeTouchingTheFolder_data();
    void launcherRefusesBeforeTouchingTheFolder();
    void chunkDownloadEndsWellOnlyWithEveryFileWritten_data();
    void chunkDownloadEndsWellOnlyWithEveryFileWritten();
    void failedInstallStaysPartial();
    void brokenAnswers_data();
    void brokenAnswers();
    void requestsFollowTheSystemProxy_data();
    void requestsFollowTheSystemProxy();
    void jsonProgressForScripts();
    void uninstallDeletesExactlyWhatThePackageLists();
    void defaultIsTheFirstInstalledPackageWithTheMarker();
    void unusableFolderIsRefusedWithoutTouchingTheDisk_data();
    void unusableFolderIsRefusedWithoutTouchingTheDisk();
    void signedMetadataInstalls_data();
    void signedMetadataInstalls();
    void pausedInstallationFetchesNothingUntilResumed();

private:
    // Version 1 installed once for every hostile document, with a link out of its folder.
    std::unique_ptr<TInstallBed> m_pHostileBed;
};

void tst_Install::freshInstallMixesEveryMethod()
{
    TInstallBed oBed;
    makeVersionOne(oBed);
    QVERIFY2(oBed.serve(), qPrintable(oBed.nginx().errorString()));
    // Every method publishes the same chunks under its own names (the slow ones
    // only the small files); the documents then take the chunks in turn from each.
    const QStringList lMethods{QStringLiteral("store"), QStringLiteral("deflate"), QStringLiteral("lzip"),
                               QStringLiteral("lzma"), QStringLiteral("zpaq"), QStringLiteral("crush")};
    const QStringList lDocuments{QStringLiteral("/live/package.json"), QStringLiteral("/live/assets.json")};
    const auto forEachForm = [&](const std::function<void(QJsonObject&)>& fnForm) {
        for (const QString& sDocument : lDocuments) {
            QJsonObject oDocument = readJson(oBed.cdn() + sDocument);
            for (const char* pList : {"chunks", "files"}) {
                QJsonArray lForms = oDocument.value(QLatin1String(pList)).toArray();
                for (QJsonValueRef oValue : lForms) {
                    QJsonObject oForm = oValue.toObject();
                    if (oForm.contains(QStringLiteral("url")))
                        fnForm(oForm);
                    oValue = oForm;
                }
                oDocument.insert(QLatin1String(pList), lForms);
            }
            QVERIFY(writeJson(oBed.cdn() + sDocument, oDocument));
        }
    };
    QMap<QString, QList<QPair<QString, QJsonObject>>> hForms; // unpacked hash → (method, packed form)
    for (const QString& sMethod : lMethods) {
        // The big files stand aside while a slow method publishes.
        const bool bSlow = sMethod != QLatin1String("store") && sMethod != QLatin1String("deflate");
        const QStringList lBig = bSlow ? QStringList{QStringLiteral("world.pak"), QStringLiteral("music.ogg")} : QStringList();
        for (const QString& sBig : lBig)
            QVERIFY(QFile::rename(oBed.source() + QStringLiteral("/data/") + sBig, oBed.path(sBig)));
        const TToolRun oRun = oBed.publish(QStringLiteral("1"), sMethod);
        for (const QString& sBig : lBig)
            QVERIFY(QFile::rename(oBed.path(sBig), oBed.source() + QStringLiteral("/data/") + sBig));
        QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
        forEachForm([&](QJsonObject& oForm) { hForms[oForm.value(QStringLiteral("unpackedhash")).toString()] << qMakePair(sMethod, oForm); });
    }
    QVERIFY(oBed.publish(QStringLiteral("1"), QStringLiteral("store")).nExitCode == 0);
    // Each form from the method used least so far among those that published it.
    QMap<QString, int> hUses;
    forEachForm([&](QJsonObject& oForm) {
        const auto lChoices = hForms.value(oForm.value(QStringLiteral("unpackedhash")).toString());
        const auto& oChosen = *std::min_element(lChoices.begin(), lChoices.end(), [&](const auto& oLeft, const auto& oRight) {
            return hUses.value(oLeft.first) < hUses.value(oRight.first);
        });
        for (const char* pKey : {"url", "packedsize", "packedhash"})
            oForm.insert(QLatin1String(pKey), oChosen.second.value(QLatin1String(pKey)));
        ++hUses[oChosen.first];
    });
    QCOMPARE(hUses.size(), lMethods.size());

    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install")), 0);
    QVERIFY(oBed.installedAsPublished());
    QVERIFY(QFileInfo(oBed.folder() + QStringLiteral("/bin/client")).isExecutable());
    QVERIFY(QFileInfo::exists(oBed.folder() + QStringLiteral("/package.json")));
    QVERIFY(!QFileInfo::exists(oBed.folder() + QStringLiteral("/partial-package.json")));
}

void tst_Install::updateFetchesOnlyMissingChunks()
{
    TInstallBed oBed;
    QVERIFY2(installVersionOne(oBed), qPrintable(oBed.nginx().errorString()));
    const auto pOld = livePublished(oBed);
    writeTestFile(oBed.folder() + QStringLiteral("/saves/player.sav"), "mine");

    // World: a few bytes in front of everything; music: edited inside; small
    // files changed, gone and new.
    const QByteArray aWorld = readTestFile(oBed.source() + QStringLiteral("/data/world.pak"));
    oBed.writeSource(QStringLiteral("data/world.pak"), "PATCH" + aWorld);
    QByteArray aMusic = readTestFile(oBed.source() + QStringLiteral("/data/music.ogg"));
    aMusic.replace(6 << 20, 4096, noiseBytes(4096, 9));
    oBed.writeSource(QStringLiteral("data/music.ogg"), aMusic);
    oBed.writeSource(QStringLiteral("bin/libgame.so"), noiseBytes(250000, 4));
    QFile::remove(oBed.source() + QStringLiteral("/data/old.txt"));
    oBed.writeSource(QStringLiteral("data/new.txt"), "arrives\n");
    QVERIFY(oBed.publish(QStringLiteral("2")).nExitCode == 0);
    const auto pNew = livePublished(oBed);
    oBed.fetchedChunks();

    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("update")), 0);
    // The minimum: per changed file the chunks the installed file lacks; a
    // changed file of fewer than two chunks whole.
    QSet<QString> lExpected;
    for (const auto& oFile : pNew->files()) {
        const QSet<QByteArray> lInstalled = chunksOf(*pOld, oFile.localFile());
        if (oFile.chunks().size() >= 2) {
            for (const qint32 nIndex : oFile.chunks()) {
                const auto& oChunk = pNew->chunks()[size_t(nIndex)];
                if (!lInstalled.contains(oChunk.unpackedHash().toByteArray()))
                    lExpected << pNew->url(oChunk).path();
            }
            continue;
        }
        bool bUnchanged = oFile.unpackedSize() == 0;
        for (const auto& oOld : pOld->files())
            bUnchanged |= oOld.localFile() == oFile.localFile() && oOld.unpackedHash() == oFile.unpackedHash();
        if (!bUnchanged)
            lExpected << pNew->url(oFile.packedForm()).path();
    }
    const QStringList lFetched = oBed.fetchedChunks();
    QCOMPARE(QSet<QString>(lFetched.begin(), lFetched.end()), lExpected);
    QCOMPARE(lFetched.size(), lExpected.size());
    QVERIFY(lExpected.size() >= 4);

    QMap<QString, QByteArray> hExpected = TInstallBed::files(oBed.source());
    hExpected.insert(QStringLiteral("saves/player.sav"), "mine");
    QCOMPARE(TInstallBed::files(oBed.folder()), hExpected);
}

void tst_Install::verifyFindsDamageAndRepairFetchesOneChunk()
{
    TInstallBed oBed;
    QVERIFY2(installVersionOne(oBed), qPrintable(oBed.nginx().errorString()));
    const QByteArray aInstalled = readTestFile(oBed.folder() + QStringLiteral("/package.json"));
    // A newer published version changes nothing about what verify checks and records.
    oBed.writeSource(QStringLiteral("bin/libgame.so"), noiseBytes(1000, 8));
    QVERIFY(oBed.publish(QStringLiteral("2")).nExitCode == 0);
    QCOMPARE(oBed.install(QStringLiteral("verify")).nExitCode, 0);
    QCOMPARE(readTestFile(oBed.folder() + QStringLiteral("/package.json")), aInstalled);
    // Nor does a server that is down: nothing is fetched.
    oBed.serveFrom(QUrl(QStringLiteral("http://127.0.0.1:1/")));
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("verify")), 0);
    oBed.serveFrom(oBed.nginx().url(QStringLiteral("/")));
    // A program that lost its flag (programWithoutItsFlagFailsVerification) gets it back with the repair.
    QVERIFY(QFile::setPermissions(oBed.folder() + QStringLiteral("/bin/client"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const QString sWorld = oBed.folder() + QStringLiteral("/data/world.pak");
    QVERIFY(flipByte(sWorld, 9 << 20));
    oBed.fetchedChunks();

    QCOMPARE(oBed.install(QStringLiteral("verify")).nExitCode, 1);
    QVERIFY(leftPartial(oBed.folder()));

    QCOMPARE(oBed.install(QStringLiteral("install")).nExitCode, 0);
    // The damaged chunk and the changed library, nothing else.
    QCOMPARE(oBed.fetchedChunks().size(), 2);
    QVERIFY(oBed.installedAsPublished());
    QVERIFY(QFileInfo(oBed.folder() + QStringLiteral("/bin/client")).isExecutable());
    // Nothing left to fetch: the request ends at once and sound.
    QCOMPARE(oBed.install(QStringLiteral("install")).nExitCode, 0);
    QVERIFY(oBed.fetchedChunks().isEmpty());

    // The installed description says world.pak is whole; the fast scan of an update sees the cut file.
    oBed.writeSource(QStringLiteral("bin/libgame.so"), noiseBytes(1000, 9));
    QVERIFY(oBed.publish(QStringLiteral("3")).nExitCode == 0);
    QVERIFY(QFile::resize(oBed.folder() + QStringLiteral("/data/world.pak"), 5 << 20));
    QCOMPARE(oBed.install(QStringLiteral("update")).nExitCode, 0);
    QVERIFY(oBed.installedAsPublished());

    // A byte changed inside world.pak's first chunk, which the next version keeps
    // while it changes the file's end: the fast scan takes the description's word
    // for the chunk, the rebuilt file fails its check, and the same run finds the
    // damaged chunk and fetches it with the new one.
    QByteArray aWorld = readTestFile(oBed.source() + QStringLiteral("/data/world.pak"));
    aWorld.replace(aWorld.size() - 4096, 4096, noiseBytes(4096, 10));
    oBed.writeSource(QStringLiteral("data/world.pak"), aWorld);
    QVERIFY(oBed.publish(QStringLiteral("4")).nExitCode == 0);
    const auto pFour = readPublished(oBed.cdn() + QStringLiteral("/live"));
    QVERIFY(chunksOf(*pFour, QStringLiteral("data/world.pak")).size() >= 2);
    QVERIFY(flipByte(sWorld, 1 << 20));
    oBed.fetchedChunks();
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("update")), 0);
    QCOMPARE(oBed.fetchedChunks().size(), 2);
    QVERIFY(oBed.installedAsPublished());

    // Kept chunks that all check out, in a file that still fails: the documents are wrong, and say so.
    aWorld.replace(aWorld.size() - 4096, 4096, noiseBytes(4096, 11));
    oBed.writeSource(QStringLiteral("data/world.pak"), aWorld);
    QVERIFY(oBed.publish(QStringLiteral("5")).nExitCode == 0);
    QJsonObject oAssets = readJson(oBed.cdn() + QStringLiteral("/live/assets.json"));
    editListedFile(oAssets, QStringLiteral("data/world.pak"),
                   [](QJsonObject& oFile) { oFile.insert(QStringLiteral("unpackedhash"), QString(64, QLatin1Char('a'))); });
    QVERIFY(writeJson(oBed.cdn() + QStringLiteral("/live/assets.json"), oAssets));
    const TToolRun oWrong = oBed.install(QStringLiteral("update"));
    QVERIFY2(oWrong.nExitCode == 1 && oWrong.sErr.contains(QLatin1String("do not belong together")), qPrintable(oWrong.describe()));
    QVERIFY(leftPartial(oBed.folder()));
}

// An update broken off, killed at a step or stopped by a signal amid the
// download, leaves markers that claim nothing false; the next run finishes it.
void tst_Install::brokenOffUpdateResumes_data()
{
    QTest::addColumn<QString>("sCrashAt");
    QTest::addColumn<int>("nSignal");
    QTest::addColumn<bool>("bRefetchesNothing");
    QTest::newRow("after the scan moved chunks") << "scan-done" << 0 << false;
    QTest::newRow("after old files went") << "files-deleted" << 0 << false;
    QTest::newRow("amid the writes") << "chunk-written:2" << 0 << false;
    QTest::newRow("all written, markers old") << "download-done" << 0 << true;
    QTest::newRow("partial marker new") << "partial-updated" << 0 << true;
    QTest::newRow("full marker new") << "full-marker-written" << 0 << true;
    QTest::newRow("SIGINT") << QString() << int(SIGINT) << false;
    QTest::newRow("SIGTERM") << QString() << int(SIGTERM) << false;
}

void tst_Install::brokenOffUpdateResumes()
{
    QFETCH(QString, sCrashAt);
    QFETCH(int, nSignal);
    QFETCH(bool, bRefetchesNothing);
    if (!sCrashAt.isEmpty())
        CORVANE_SKIP_WITHOUT_SEAM("crash points (CORVANE_CRASH_AT)");
    TInstallBed oBed;
    QVERIFY2(installVersionOne(oBed), qPrintable(oBed.nginx().errorString()));
    const TPublishedVersion oOld{readTestFile(oBed.cdn() + QStringLiteral("/live/package.json")),
                                 readTestFile(oBed.cdn() + QStringLiteral("/live/assets.json")), TInstallBed::files(oBed.source())};
    oBed.writeSource(QStringLiteral("data/world.pak"), "PATCH" + readTestFile(oBed.source() + QStringLiteral("/data/world.pak")));
    oBed.writeSource(QStringLiteral("data/music.ogg"), noiseBytes(9 << 20, 5));
    QFile::remove(oBed.source() + QStringLiteral("/data/old.txt"));
    const TPublishedVersion oNew = oBed.publishVersion(QStringLiteral("2"));
    QVERIFY(!oNew.m_aPackage.isEmpty());

    if (nSignal != 0) {
        // Slow enough that the signal comes mid-download; the sync point: a progress line with bytes written.
        oBed.nginx().stop();
        QVERIFY2(oBed.serve(QStringLiteral("location /live/chunks/ { limit_rate 1m; }")), qPrintable(oBed.nginx().errorString()));
        const TToolRun oStopped = oBed.stopAtProgress(QStringLiteral("update"), nSignal, [](const QJsonObject& oLine) {
            return oLine.value(QStringLiteral("bytesDone")).toDouble() > 0;
        });
        QVERIFY2(!oStopped.bKilled && oStopped.nExitCode == 128 + nSignal, qPrintable(oStopped.describe()));
        const QJsonObject oOutcome = QJsonDocument::fromJson(oStopped.sOut.trimmed().split(QLatin1Char('\n')).last().toUtf8()).object();
        QCOMPARE(oOutcome.value(QStringLiteral("outcome")).toString(), QStringLiteral("interrupted"));
        QVERIFY(leftPartial(oBed.folder()));
        oBed.nginx().stop();
        QVERIFY2(oBed.serve(), qPrintable(oBed.nginx().errorString()));
    } else {
        QVERIFY(oBed.install(QStringLiteral("update"), sCrashAt).bKilled);
    }
    const QSet<QString> lInPlace = TInstallBed::addressesInPlace(oBed.folder(), *livePublished(oBed));
    const QString sUntruth = oBed.markerUntruth({oOld, oNew});
    QVERIFY2(sUntruth.isEmpty(), qPrintable(sUntruth));
    oBed.fetchedChunks();

    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("update")), 0);
    QCOMPARE(oBed.notInstalled(oNew), QString());
    // Nothing that the broken-off run had already put in its place comes again.
    const QStringList lFetched = oBed.fetchedChunks();
    QVERIFY2(!QSet<QString>(lFetched.begin(), lFetched.end()).intersects(lInPlace), qPrintable(lFetched.join(QLatin1Char(' '))));
    if (bRefetchesNothing)
        QVERIFY(lFetched.isEmpty());
}

void tst_Install::unreadableInstalledFileIsFetchedAgain()
{
    CORVANE_SKIP_WITHOUT_SEAM("failing reads (CORVANE_FAIL_AT)");
    TInstallBed oBed;
    QVERIFY2(installVersionOne(oBed), qPrintable(oBed.nginx().errorString()));
    const auto pPublished = livePublished(oBed);
    // An install broken off: the next one reads every chunked file by content,
    // and the first read of a chunk fails as a failing disk's does.
    QVERIFY(QFile::rename(oBed.folder() + QStringLiteral("/package.json"), oBed.folder() + QStringLiteral("/partial-package.json")));
    oBed.fetchedChunks();
    QProcessEnvironment oFault;
    oFault.insert(QStringLiteral("CORVANE_FAIL_AT"), QStringLiteral("chunk-read"));
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install"), QString(), {}, false, oFault), 0);
    QVERIFY(oBed.installedAsPublished());
    // That file is fetched whole again, and nothing else.
    const QStringList lFetched = oBed.fetchedChunks();
    bool bOneFile = false;
    for (const auto& oFile : pPublished->files()) {
        QSet<QString> lChunks;
        for (const qint32 nIndex : oFile.chunks())
            lChunks << pPublished->url(pPublished->chunks()[size_t(nIndex)]).path();
        bOneFile |= oFile.chunks().size() >= 2 && QSet<QString>(lFetched.begin(), lFetched.end()) == lChunks;
    }
    QVERIFY2(bOneFile, qPrintable(lFetched.join(QLatin1Char(' '))));
}

void tst_Install::pausedInstallationFetchesNothingUntilResumed()
{
    TInstallBed oBed;
    makeVersionOne(oBed);
    QVERIFY(oBed.publish(QStringLiteral("1"), QStringLiteral("store")).nExitCode == 0);
    // Every chunk is answered from memory, and only when the test says so.
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oBed.cdn()));
    QDirIterator oChunks(oBed.cdn() + QStringLiteral("/live/chunks"), QDir::Files, QDirIterator::Subdirectories);
    while (oChunks.hasNext()) {
        const QString sPath = oChunks.next();
        oServer.setResponse(QDir(oBed.cdn()).relativeFilePath(sPath), TCannedHttpResponse::withBody(readTestFile(sPath)));
    }
    oServer.setHoldResponses(true);

    // Two transfers at a time, so that chunks wait in the queue too.
    TOnePackageLauncher oOne;
    QVERIFY(writeTestFile(oOne.oLauncher.filePath(QStringLiteral("launchersettings.ini")),
                          readTestFile(QStringLiteral(CORVANE_SOURCE_DIR "/launcher/resources/settings/launchersettings.ini"))
                              + "\n[OPTIONS]\nmaxConcurrentDownloads=2\n"));
    oOne.pHelper = std::make_shared<TLauncherFilesystemHelper>(oOne.oLauncher.path());
    const auto& [oLauncher, pHelper, pMetadata, pPackage, sFolder] = oOne;
    const std::shared_ptr<TPackageConfigurationReader> pTarget =
        readPublished(oBed.cdn() + QStringLiteral("/live"), oServer.url(QStringLiteral("live/")));
    pPackage->platformBuild()->setConfiguration(pTarget);

    TInstallationManager oManager(pMetadata, pHelper);
    QSignalSpy oAllFinished(&oManager, &TInstallationManager::allStartedUpdatesFinished);
    std::shared_ptr<TPackageInstallation> pInstallation;
    int nWritten = 0;
    bool bFinished = false;
    connect(&oManager, &TInstallationManager::installationOrUpdateStarted, this,
            [&](const std::shared_ptr<TPackageInstallation>& pStarted) {
                pInstallation = pStarted;
                connect(pStarted->downloader(), &TPackageFileDownloader::writeProgress, this, [&] { ++nWritten; });
            });
    connect(&oManager, &TInstallationManager::installationOrUpdateFinished, this, [&] { bFinished = true; });
    oManager.installOrUpdatePackage(pPackage);

    // One chunk answered and written, two asked for and waiting, the rest queued.
    QTRY_COMPARE_WITH_TIMEOUT(oServer.heldCount(), 2, 60000);
    oServer.answerHeld(0);
    QTRY_VERIFY_WITH_TIMEOUT(nWritten >= 1 && oServer.heldCount() == 2, 60000);
    QCOMPARE(chunkRequests(oServer).size(), 3);
    QVERIFY(pTarget->chunks().size() > 4);

    QVERIFY(pInstallation->pause() && pInstallation->isPaused());
    const int nRequestsAtPause = oServer.requests().size();
    oServer.setHoldResponses(false);

    // Paused, the request still holds the folder: another installer is refused
    // and changes nothing, and the manager still waits for it.
    oBed.serveFrom(oServer.url(QString()));
    QStringList lOther = oBed.installArguments(QStringLiteral("install"));
    lOther[2] = sFolder;
    const TToolRun oOther = runBuiltTool(QStringLiteral("corvane-install"), lOther);
    QVERIFY2(oOther.nExitCode == 1 && oOther.sErr.contains(QLatin1String("is being changed by another program")),
             qPrintable(oOther.describe()));
    // What was written stays, truthfully described: the partial marker, and the
    // chunk in its place.
    QCOMPARE(readTestFile(sFolder + QStringLiteral("/partial-package.json")), pTarget->packageDocument());
    QCOMPARE(readTestFile(sFolder + QStringLiteral("/assets.json")), pTarget->assetDocument());
    QVERIFY(!QFileInfo::exists(sFolder + QStringLiteral("/package.json")));
    const QSet<QString> lInPlace = TInstallBed::addressesInPlace(sFolder, *pTarget);
    QVERIFY2(lInPlace.contains(chunkRequests(oServer).first()), qPrintable(chunkRequests(oServer).first()));
    // No chunk was asked for after the pause.
    QCOMPARE(chunkRequests(oServer, nRequestsAtPause), QStringList());
    QVERIFY(!bFinished);
    QCOMPARE(oAllFinished.count(), 0);

    // Resumed: the rest arrives, and nothing written is fetched again.
    const int nRequestsAtResume = oServer.requests().size();
    pInstallation->resume();
    QVERIFY(!pInstallation->isPaused());
    QTRY_VERIFY_WITH_TIMEOUT(bFinished, 60000);
    QVERIFY2(pInstallation->succeeded(), qPrintable(pInstallation->errorMessage()));
    QCOMPARE(oAllFinished.count(), 1);
    QCOMPARE(TInstallBed::files(sFolder), TInstallBed::files(oBed.source()));
    const QStringList lAfterResume = chunkRequests(oServer, nRequestsAtResume);
    QVERIFY(!lAfterResume.isEmpty());
    for (const QString& sPath : lAfterResume)
        QVERIFY2(!lInPlace.contains(sPath), qPrintable(sPath));
}

// A program its document marks executable cannot be started without the
// owner's flag: passing it would send the player from Play to verify and back.
void tst_Install::programWithoutItsFlagFailsVerification_data()
{
    QTest::addColumn<QString>("sFile");
    QTest::addColumn<int>("nMode");
    QTest::addColumn<QString>("sFault"); // as the Verify failure box names it; empty: passes
    QTest::newRow("rwxr-xr-x") << "bin/run" << 0755 << "";
    QTest::newRow("rwxr--r--") << "bin/run" << 0744 << "";
    QTest::newRow("rw-r--r--") << "bin/run" << 0644 << "\"bin/run\" is not executable.";
    QTest::newRow("rw-r-xr-x") << "bin/run" << 0655 << "\"bin/run\" is not executable.";
    // An installed description changed by hand: nothing outside the folder is read.
    QTest::newRow("path out of the folder") << "../run" << 0755 << "\"../run\" is not a path inside the package folder.";
    // Put in the program's place: opening it for reading waits for a writer, for ever.
    QTest::newRow("named pipe") << "bin/run" << -1 << "\"bin/run\" cannot be read: It is no regular file.";
}

void tst_Install::programWithoutItsFlagFailsVerification()
{
    QFETCH(QString, sFile);
    QFETCH(int, nMode);
    QFETCH(QString, sFault);
    TOnePackageLauncher oOne;
    const auto& [oLauncher, pHelper, pMetadata, pPackage, sFolder] = oOne;
    const QByteArray aProgram("#!/bin/sh\necho running\n");
    const QString sHash = QString::fromLatin1(shared::TSha256::hash(aProgram).toHex());
    const QByteArray aDocument = setOneFileConfiguration(*pPackage, QStringLiteral("1"), sFile, aProgram.size(), sHash, 1, sHash, true);
    QVERIFY(writeTestFile(sFolder + QStringLiteral("/package.json"), aDocument));
    QVERIFY(writeTestFile(sFolder + QLatin1Char('/') + sFile, aProgram));
    const QByteArray aPath = QFile::encodeName(sFolder + QLatin1Char('/') + sFile);
    if (nMode < 0)
        QVERIFY(::unlink(aPath.constData()) == 0 && ::mkfifo(aPath.constData(), 0755) == 0);
    else
        QVERIFY(::chmod(aPath.constData(), mode_t(nMode)) == 0);

    TInstallationManager oManager(pMetadata, pHelper);
    QSignalSpy oFinished(&oManager, &TInstallationManager::installationOrUpdateFinished);
    if (!sFault.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("verification of file .*run.* failed")));
    oManager.verifyPackage(pPackage);
    QTRY_COMPARE_WITH_TIMEOUT(oFinished.count(), 1, 20000);
    const auto pInstallation = oFinished.first().first().value<std::shared_ptr<TPackageInstallation>>();
    QCOMPARE(pInstallation->succeeded(), sFault.isEmpty());
    QCOMPARE(pInstallation->fileFault().text(), sFault);
    if (!sFault.isEmpty())
        QCOMPARE(pInstallation->errorMessage(),
                 QStringLiteral("The installed files of Client 0 do not match their description (\"%1\").").arg(sFile));
}

// Closing the launcher (or starting a client) drops the installation manager while
// a scan or a verification reads: the reading stops with it instead of going on,
// the process invisible and still holding its single-instance claim. The file
// here would take many minutes to read; the test ends long before its time-out.
void tst_Install::goingInstallationStopsReading_data()
{
    QTest::addColumn<bool>("bVerify");
    QTest::newRow("mid-scan") << false;
    QTest::newRow("mid-verify") << true;
}

void tst_Install::goingInstallationStopsReading()
{
    QFETCH(bool, bVerify);
    TOnePackageLauncher oOne;
    const auto& [oLauncher, pHelper, pMetadata, pPackage, sFolder] = oOne;
    // A sparse terabyte of zeros, described as 65,536 chunks of 16 MiB zeros.
    constexpr qint64 nChunk = qint64(16) << 20;
    constexpr qint64 nSize = qint64(1) << 40;
    QVERIFY(writeTestFile(sFolder + QStringLiteral("/big.pak"), QByteArray()));
    QVERIFY(QFile::resize(sFolder + QStringLiteral("/big.pak"), nSize));
    const QString sZeroHash = QString::fromLatin1(shared::TSha256::hash(QByteArray(int(nChunk), '\0')).toHex());
    const QByteArray aDocument = setOneFileConfiguration(*pPackage, QStringLiteral("2"), QStringLiteral("big.pak"), double(nChunk),
                                                         sZeroHash, int(nSize / nChunk), QString(64, QLatin1Char('a')));
    if (bVerify)
        QVERIFY(writeTestFile(sFolder + QStringLiteral("/package.json"), aDocument));

    auto pManager = std::make_unique<TInstallationManager>(pMetadata, pHelper);
    // The sync point: the first block read. No reference to the installation is
    // kept here, so that it goes with the manager; progress still queued when
    // this test ends goes with the receiver.
    bool bReading = false;
    QObject oReceiver;
    connect(pManager.get(), &TInstallationManager::installationOrUpdateStarted, &oReceiver,
            [&](const std::shared_ptr<TPackageInstallation>& pInstallation) {
                const auto fnRead = [&] { bReading = true; };
                connect(pInstallation.get(), &TPackageInstallation::scanProgress, &oReceiver, fnRead);
                connect(pInstallation.get(), &TPackageInstallation::verificationProgress, &oReceiver, fnRead);
            });
    if (bVerify)
        pManager->verifyPackage(pPackage);
    else
        pManager->installOrUpdatePackage(pPackage);
    QTRY_VERIFY_WITH_TIMEOUT(bReading, 60000);
    // A verification stopped half-way says so, naming the file.
    if (bVerify)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("verification of file .*big.pak.* stopped")));
    pManager.reset();
    // Nothing goes on once the manager has gone: the pool drains at once and
    // leaves the folder as the destruction found it, claiming nothing.
    // (Names, sizes and times: the bytes of a terabyte are not read here either.)
    const auto fnState = [&] {
        QStringList lState;
        QDirIterator oIterator(sFolder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (oIterator.hasNext()) {
            const QFileInfo oInfo(oIterator.next());
            lState << QStringLiteral("%1 %2 %3").arg(oInfo.filePath()).arg(oInfo.size()).arg(oInfo.lastModified().toMSecsSinceEpoch());
        }
        return lState;
    };
    const QStringList lAfter = fnState();
    QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
    QCOMPARE(fnState(), lAfter);
    QVERIFY(leftPartial(sFolder));
    QCOMPARE(QFileInfo(sFolder + QStringLiteral("/big.pak")).size(), nSize);
}

// Each row is one value given to the big asset file's entry ("file"), to one of
// its chunks ("chunk"), or a whole document ("assets", "package"). Values are JSON
// text, so that numbers reach the engine exactly as written; the refusal must name
// what the document wrote where given. @music-url@ is the address of a music
// chunk, @other-hash@ the hash of a music chunk of another size than the world
// chunk that gets it, @local-copy@ a file: address of the world chunk's copy.
void tst_Install::hostileDocumentIsRefused_data()
{
    QTest::addColumn<QString>("sWhere");
    QTest::addColumn<QString>("sKey");
    QTest::addColumn<QByteArray>("aValue");
    QTest::addColumn<QString>("sNamed");
    const auto row = [](const char* pName, const char* pWhere, const char* pKey, const QByteArray& aValue, const char* pNamed) {
        QTest::newRow(pName) << QString::fromLatin1(pWhere) << QString::fromLatin1(pKey) << aValue << QString::fromLatin1(pNamed);
    };
    // Paths that climb out, are absolute, empty or the folder itself, a path
    // named twice, both file and folder, a marker's name, a way through a link,
    // a name or a path longer than the file system takes.
    row("path climbs out", "file", "localfile", R"("../../outside/x")", "");
    row("absolute path", "file", "localfile", R"("/tmp/x")", "");
    row("empty path", "file", "localfile", R"("")", "");
    row("the folder itself", "file", "localfile", R"(".")", "");
    row("path named twice", "file", "localfile", R"("bin/libgame.so")", "");
    row("file and folder", "file", "localfile", R"("bin")", "");
    row("a marker's name", "file", "localfile", R"("package.json")", "");
    row("inside the kept chunks' folder", "file", "localfile", R"(".corvane-partial/x")", "");
    row("through a link", "file", "localfile", R"("link/x")", "");
    row("name too long", "file", "localfile", "\"data/" + QByteArray(256, 'n') + '"', "256 bytes");
    // Short in characters, long in bytes: a name's limit counts what the file system stores.
    row("name too long in bytes", "file", "localfile", "\"data/" + QString(128, QChar(0xe9)).toUtf8() + '"', "256 bytes");
    row("path too long", "file", "localfile", "\"data/" + QByteArray(4200, 'd').replace("dd", "d/") + "x\"", "4206 bytes");
    // A chunk the document does not list, sizes that do not add up, numbers
    // that are no sizes or no indices.
    row("unlisted chunk", "file", "chunks", "[0, 99999]", "99999");
    row("sizes do not add up", "file", "unpackedsize", "123", "123");
    row("negative file size", "file", "unpackedsize", "-1", "-1");
    row("fractional index", "file", "chunks", "[24.5]", "24.5");
    row("index as text", "file", "chunks", R"(["24"])", R"("24")");
    row("negative chunk size", "chunk", "packedsize", "-1", "-1");
    row("huge chunk size", "chunk", "packedsize", "9223372036854775807", "9223372036854775807");
    // One address for two different chunks, one chunk with two sizes.
    row("one address, two chunks", "chunk", "url", R"("@music-url@")", "@music-url@");
    row("one chunk, two sizes", "chunk", "unpackedhash", R"("@other-hash@")", "@other-hash@");
    // Local files and devices named by a document that came over http.
    row("local file over http", "chunk", "url", R"("@local-copy@")", "file:");
    row("device over http", "chunk", "url", R"("file:///dev/zero")", "file:");
    // What a misconfigured server or proxy answers: documents without a file list.
    row("package is a list", "package", "", "[]", "files");
    row("package is an error", "package", "", R"({"message": "Service Unavailable", "code": 503})", "files");
    row("assets without files", "assets", "", "{}", "files");
}

void tst_Install::hostileDocumentIsRefused()
{
    QFETCH(QString, sWhere);
    QFETCH(QString, sKey);
    QFETCH(QByteArray, aValue);
    QFETCH(QString, sNamed);
    if (!m_pHostileBed) {
        auto pBed = std::make_unique<TInstallBed>();
        QVERIFY2(installVersionOne(*pBed), qPrintable(pBed->nginx().errorString()));
        QVERIFY(QFile::link(pBed->path(QStringLiteral("outside")), pBed->folder() + QStringLiteral("/link")));
        QVERIFY(writeTestFile(pBed->path(QStringLiteral("outside/x")), "outside"));
        QVERIFY(QFile::copy(pBed->cdn() + QStringLiteral("/live/assets.json"), pBed->path(QStringLiteral("assets.json"))));
        QVERIFY(QFile::copy(pBed->cdn() + QStringLiteral("/live/package.json"), pBed->path(QStringLiteral("package.json"))));
        m_pHostileBed = std::move(pBed);
    }
    TInstallBed& oBed = *m_pHostileBed;

    const QByteArray aSoundAssets = readTestFile(oBed.path(QStringLiteral("assets.json")));
    const QByteArray aSoundPackage = readTestFile(oBed.path(QStringLiteral("package.json")));
    const QJsonObject oSound = QJsonDocument::fromJson(aSoundAssets).object();
    const int nPackageChunks = QJsonDocument::fromJson(aSoundPackage).object().value(QStringLiteral("chunks")).toArray().size();
    QJsonArray lChunks = oSound.value(QStringLiteral("chunks")).toArray();
    // The asset chunks of a file, as positions in the asset document's own list.
    const auto chunksOfAsset = [&](const QString& sName) {
        QList<int> lPositions;
        QJsonObject oDocument = oSound;
        editListedFile(oDocument, sName, [&](QJsonObject& oFile) {
            for (const QJsonValue oIndex : oFile.value(QStringLiteral("chunks")).toArray())
                lPositions << oIndex.toInt() - nPackageChunks;
        });
        return lPositions;
    };
    const int nWorld = chunksOfAsset(QStringLiteral("data/world.pak")).at(1);
    const QList<int> lMusic = chunksOfAsset(QStringLiteral("data/music.ogg"));
    const auto chunkMember = [&](int nPosition, const char* pKey) { return lChunks.at(nPosition).toObject().value(QLatin1String(pKey)); };
    const auto itOtherSize = std::find_if(lMusic.begin(), lMusic.end(), [&](int nPosition) {
        return chunkMember(nPosition, "unpackedsize") != chunkMember(nWorld, "unpackedsize");
    });
    QVERIFY(itOtherSize != lMusic.end());
    const QList<QPair<QString, QString>> lPlaceholders{
        {QStringLiteral("@music-url@"), chunkMember(lMusic.first(), "url").toString()},
        {QStringLiteral("@other-hash@"), chunkMember(*itOtherSize, "unpackedhash").toString()},
        {QStringLiteral("@local-copy@"),
         QUrl::fromLocalFile(oBed.cdn() + QStringLiteral("/live/") + chunkMember(nWorld, "url").toString()).toString()}};
    for (const auto& oPlaceholder : lPlaceholders) {
        aValue.replace(oPlaceholder.first.toUtf8(), oPlaceholder.second.toUtf8());
        sNamed.replace(oPlaceholder.first, oPlaceholder.second);
    }

    QByteArray aAssets = sWhere == QLatin1String("assets") ? aValue : aSoundAssets;
    const QByteArray aPackage = sWhere == QLatin1String("package") ? aValue : aSoundPackage;
    const QString sMark = QStringLiteral("@hostile@");
    QJsonObject oDocument = oSound;
    if (sWhere == QLatin1String("file")) {
        editListedFile(oDocument, QStringLiteral("data/world.pak"), [&](QJsonObject& oFile) { oFile.insert(sKey, sMark); });
    } else if (sWhere == QLatin1String("chunk")) {
        QJsonObject oChunk = lChunks.at(nWorld).toObject();
        oChunk.insert(sKey, sMark);
        lChunks[nWorld] = oChunk;
        oDocument.insert(QStringLiteral("chunks"), lChunks);
    }
    if (oDocument != oSound)
        aAssets = QJsonDocument(oDocument).toJson().replace("\"" + sMark.toUtf8() + '"', aValue);
    QVERIFY(writeTestFile(oBed.cdn() + QStringLiteral("/live/assets.json"), aAssets)
            && writeTestFile(oBed.cdn() + QStringLiteral("/live/package.json"), aPackage));
    // Where a refused run could write: the folder, and through its link outside it.
    const auto state = [&] {
        return std::make_pair(treeState(oBed.path(QStringLiteral("install"))), treeState(oBed.path(QStringLiteral("outside"))));
    };
    const auto hBefore = state();
    const TToolRun oRun = oBed.install(QStringLiteral("update"));
    QVERIFY2(oRun.nExitCode == 1, qPrintable(oRun.describe()));
    QVERIFY2(oRun.sErr.contains(sNamed), qPrintable(oRun.sErr));
    QVERIFY(state() == hBefore);
}

// corvane-install from local media: documents read from a folder name only the
// regular files below that folder.
void tst_Install::localMediaNameOnlyTheirOwnFiles()
{
    TInstallBed oBed;
    makeVersionOne(oBed);
    QVERIFY(oBed.publish(QStringLiteral("1")).nExitCode == 0);
    oBed.serveFrom(QUrl::fromLocalFile(oBed.cdn() + QLatin1Char('/')));
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install")), 0);
    QVERIFY(oBed.installedAsPublished());

    // One document named as both package and assets arrives once, and must not
    // be waited for a second time.
    QStringList lBoth = oBed.installArguments(QStringLiteral("update"));
    lBoth[4] = lBoth[1];
    const TToolRun oRun = runBuiltTool(QStringLiteral("corvane-install"), lBoth, false, oBed.installEnvironment());
    QVERIFY2(oRun.nExitCode == 1 && oRun.sErr.contains(QLatin1String("twice")), qPrintable(oRun.describe()));

    // The world file must be fetched again: from a copy of its first chunk outside
    // the medium's folder, through a link, then from a named pipe that would never end.
    QVERIFY(QFile::remove(oBed.folder() + QStringLiteral("/data/world.pak")));
    const QString sAssets = oBed.cdn() + QStringLiteral("/live/assets.json");
    const QByteArray aSound = readTestFile(sAssets);
    const auto pPublished = readPublished(oBed.cdn() + QStringLiteral("/live"));
    QString sChunkFile;
    for (const auto& oFile : pPublished->files()) {
        if (oFile.localFile() == QLatin1String("data/world.pak"))
            sChunkFile = pPublished->url(pPublished->chunks()[size_t(oFile.chunks()[0])]).toLocalFile();
    }
    const QByteArray aUrl = QDir(oBed.cdn() + QStringLiteral("/live")).relativeFilePath(sChunkFile).toUtf8();
    QVERIFY(writeTestFile(oBed.path(QStringLiteral("outside/chunk")), readTestFile(sChunkFile)));
    QVERIFY(writeTestFile(sAssets, QByteArray(aSound).replace('"' + aUrl + '"', "\"../../outside/chunk\"")));
    const auto hBefore = treeState(oBed.folder());
    const auto refusedNaming = [&](const QString& sNamed) {
        const TToolRun oRefused = oBed.install(QStringLiteral("update"));
        QVERIFY2(oRefused.nExitCode == 1 && oRefused.sErr.contains(sNamed), qPrintable(oRefused.describe()));
        QVERIFY(treeState(oBed.folder()) == hBefore);
    };
    refusedNaming(QStringLiteral("outside/chunk"));

    // Nor a link, even to the same bytes on the medium: the reading would not follow it.
    QVERIFY(writeTestFile(sAssets, aSound) && QFile::rename(sChunkFile, sChunkFile + QStringLiteral(".real")));
    QVERIFY(QFile::link(sChunkFile + QStringLiteral(".real"), sChunkFile));
    refusedNaming(QFileInfo(sChunkFile).fileName());

    QVERIFY(writeTestFile(sAssets, aSound) && QFile::remove(sChunkFile));
    QVERIFY(::mkfifo(QFile::encodeName(sChunkFile).constData(), 0644) == 0);
    refusedNaming(QFileInfo(sChunkFile).fileName());
}

// The launcher's own rules for a request, met before its folder changes: a
// document without a file list would delete the launcher's own files, and the
// copies of an offline start name local files, which the launcher never fetches.
// An explicit empty file list is a package of no files.
void tst_Install::launcherRefusesBeforeTouchingTheFolder_data()
{
    QTest::addColumn<bool>("bSelf");
    QTest::addColumn<QByteArray>("aTarget");
    QTest::addColumn<bool>("bRefused");
    const auto target = [](const QString& sFiles) { return QStringLiteral(R"({"version": "2"%1})").arg(sFiles).toUtf8(); };
    QTest::newRow("self-update without a file list") << true << target(QString()) << true;
    QTest::newRow("self-update to no files") << true << target(QStringLiteral(R"(, "files": [])")) << false;
    // A name the file system takes, but not with the staging copy's suffix.
    QTest::newRow("self-update to a name without room to stage")
        << true
        << target(QStringLiteral(R"(, "files": [{"localfile": "%1", "unpackedsize": 0, "unpackedhash": "%2"}])")
                      .arg(QString(253, QLatin1Char('n')), QString::fromLatin1(shared::TSha256::hash("").toHex())))
        << true;
    QTest::newRow("client from local copies")
        << false
        << target(QStringLiteral(R"(, "chunks": [{"url": "c0", "packedsize": 3, "unpackedsize": 3, "unpack": false, "unpackedhash": "%1"}],
                                    "files": [{"localfile": "a", "unpackedsize": 3, "unpackedhash": "%1", "chunks": [0]}])")
                      .arg(QString::fromLatin1(shared::TSha256::hash("abc").toHex())))
        << true;
}

void tst_Install::launcherRefusesBeforeTouchingTheFolder()
{
    QFETCH(bool, bSelf);
    QFETCH(QByteArray, aTarget);
    QFETCH(bool, bRefused);
    TOnePackageLauncher oOne;
    if (bSelf) {
        oOne.pMetadata = std::make_shared<TLauncherConfigurationReader>(
            R"({"launcher": {"name": "Launcher", "builds": [{"os": "linux", "architecture": "x86_64"}]}})", QUrl());
        oOne.pPackage = oOne.pMetadata->launcherPackage();
        oOne.sFolder = oOne.oLauncher.path();
    }
    const auto& [oLauncher, pHelper, pMetadata, pPackage, sInstalled] = oOne;
    QVERIFY(writeTestFile(sInstalled + QStringLiteral("/corvane-launcher"), "program", true));
    QVERIFY(writeTestFile(sInstalled + QStringLiteral("/README.txt"), "text"));
    QVERIFY(writeTestFile(sInstalled + QStringLiteral("/package.json"),
                          R"({"version": "1", "files": [{"localfile": "corvane-launcher"}, {"localfile": "README.txt"}]})"));
    // An offline start reads the documents as files, here where the chunk lies.
    QTemporaryDir oCopies;
    QVERIFY(writeTestFile(oCopies.filePath(QStringLiteral("c0")), "abc"));
    const QUrl oBase = QUrl::fromLocalFile(oCopies.path() + QLatin1Char('/'));
    pPackage->platformBuild()->setConfiguration(std::make_shared<TPackageConfigurationReader>(aTarget, QByteArray(), oBase, oBase));

    TInstallationManager oManager(bSelf ? nullptr : pMetadata, pHelper);
    oManager.setInstallationMode(bSelf ? kLauncherUpdatingItself : kOrdinaryPackage);
    QSignalSpy oFinished(&oManager, &TInstallationManager::installationOrUpdateFinished);
    const auto hBefore = treeState(sInstalled);
    oManager.installOrUpdatePackage(pPackage);
    QTRY_COMPARE_WITH_TIMEOUT(oFinished.count(), 1, 20000);
    const auto pInstallation = oFinished.first().first().value<std::shared_ptr<TPackageInstallation>>();
    QCOMPARE(pInstallation->succeeded(), !bRefused);
    if (bRefused)
        QCOMPARE(pInstallation->errorReason(), InvalidPackage);
    QCOMPARE(treeState(sInstalled) == hBefore, bRefused);
    QCOMPARE(QFileInfo::exists(sInstalled + QStringLiteral("/corvane-launcher")) || QFileInfo::exists(sInstalled + QStringLiteral("/README.txt")),
             bRefused);
}

// Chunks each fetched into a file of its own ("a", "b"..) from the one address
// the server answers. While a chunk waits to be fetched again the downloader
// says which attempt comes, of how many, and that none waits any more once bytes
// came or it gave up. Two files whose chunks share an address but not a hash:
// the address brings one chunk, and the download must not end well while the
// other file was never written.
void tst_Install::chunkDownloadEndsWellOnlyWithEveryFileWritten_data()
{
    QTest::addColumn<QByteArrayList>("lChunks"); // the bytes each file's chunk must hold
    QTest::addColumn<int>("nUnavailable");
    QTest::addColumn<QList<int>>("lAttempts");
    QTest::addColumn<QString>("sFailure"); // what the failure names; empty: completes
    // Longer than the error page, so that its bytes are no sign the chunk comes.
    const QByteArray aServed(1000, 'a');
    QTest::newRow("503 twice") << QByteArrayList{aServed} << 2 << QList<int>{2, 3, 0} << QString();
    QTest::newRow("503 always") << QByteArrayList{aServed} << -1 << QList<int>{2, 3, 4, 0} << "chunks/c";
    QTest::newRow("one address, two chunks") << QByteArrayList{aServed, QByteArray(1000, 'b')} << 0 << QList<int>() << "\"b\"";
}

void tst_Install::chunkDownloadEndsWellOnlyWithEveryFileWritten()
{
    QFETCH(QByteArrayList, lChunks);
    QFETCH(int, nUnavailable);
    QFETCH(QList<int>, lAttempts);
    QFETCH(QString, sFailure);
    QTemporaryDir oRoot;
    QVERIFY(writeTestFile(oRoot.filePath(QStringLiteral("cdn/chunks/c")), lChunks.first()));
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oRoot.filePath(QStringLiteral("cdn"))));
    if (nUnavailable != 0)
        oServer.setFaultForPrefix(QStringLiteral("chunks/"), EHttpFault::Unavailable, nUnavailable);
    QJsonArray lForms;
    for (const QByteArray& aChunk : lChunks)
        lForms << QJsonObject{{QStringLiteral("url"), QStringLiteral("chunks/c")}, {QStringLiteral("packedsize"), aChunk.size()},
                              {QStringLiteral("unpackedsize"), aChunk.size()}, {QStringLiteral("unpack"), false},
                              {QStringLiteral("unpackedhash"), QString::fromLatin1(shared::TSha256::hash(aChunk).toHex())}};
    const TPackageConfigurationReader oReader(QJsonDocument(QJsonObject{{QStringLiteral("chunks"), lForms}}).toJson(), QByteArray(),
                                              oServer.url(QString()), oServer.url(QString()));
    std::vector<TFileToDownload> lFiles(oReader.chunks().size());
    for (size_t nFile = 0; nFile < lFiles.size(); ++nFile) {
        lFiles[nFile].m_sLocalFile = QString(QLatin1Char(char('a' + nFile)));
        lFiles[nFile].m_nUnpackedSize = oReader.chunks()[nFile].unpackedSize();
        lFiles[nFile].m_oUnpackedHash = oReader.chunks()[nFile].unpackedHash();
        lFiles[nFile].m_lChunkRecords = {TChunkRecord(oReader, oReader.chunks()[nFile])};
        lFiles[nFile].m_lPositionsToWrite = {0};
    }
    const auto pPool = std::make_shared<shared::TDownloadPool>(2, newTestNetworkManager(), nullptr, false);
    TPackageFileDownloader oDownloader(pPool, std::make_shared<TLauncherFilesystemHelper>(oRoot.filePath(QStringLiteral("launcher"))));
    QSignalSpy oCompleted(&oDownloader, &TPackageFileDownloader::downloadCompleted);
    QSignalSpy oFailed(&oDownloader, &TPackageFileDownloader::downloadFailed);
    QList<int> lSeen;
    connect(&oDownloader, &TPackageFileDownloader::retryWaiting, this, [&](int nAttempt, int nAttempts) {
        QCOMPARE(nAttempts, 4);
        lSeen << nAttempt;
    });
    oDownloader.setTargetFolder(std::make_shared<shared::TConfinedFolder>(oRoot.filePath(QStringLiteral("install"))));
    oDownloader.setFilesToDownload(lFiles);
    oDownloader.startDownload();
    QTRY_VERIFY_WITH_TIMEOUT(oCompleted.count() + oFailed.count() > 0, 20000);
    QCOMPARE(oCompleted.count(), sFailure.isEmpty() ? 1 : 0);
    QCOMPARE(oFailed.count(), sFailure.isEmpty() ? 0 : 1);
    QVERIFY2(oDownloader.errorMessage().contains(sFailure), qPrintable(oDownloader.errorMessage()));
    QCOMPARE(lSeen, lAttempts);
}

// A folder that cannot be written: the failure names it, and the package stays
// partly installed. (Sound chunks that make a file of another hash: the last
// update of verifyFindsDamageAndRepairFetchesOneChunk.)
void tst_Install::failedInstallStaysPartial()
{
    TInstallBed oBed;
    QVERIFY(publishSmallClient(oBed, 1 << 20, 3));
    QVERIFY(oBed.serve());
    const QString sData = oBed.folder() + QStringLiteral("/data");
    QVERIFY(QDir().mkpath(sData));
    QFile::setPermissions(sData, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const TToolRun oRun = oBed.install(QStringLiteral("install"), QString(), {}, true);
    QFile::setPermissions(sData, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY2(oRun.nExitCode == 1 && oRun.sErr.contains(QLatin1String("data/")), qPrintable(oRun.describe()));
    QVERIFY(leftPartial(oBed.folder()));
}

// A server that breaks answers: what a retry can mend ends installed, the rest
// fails cleanly, a package left partial or, when its documents never came, untouched.
void tst_Install::brokenAnswers_data()
{
    QTest::addColumn<QString>("sPrefix");
    QTest::addColumn<int>("nFault");
    QTest::addColumn<int>("nTimes");
    QTest::addColumn<QString>("sMethod");
    QTest::addColumn<bool>("bInstalls");
    QTest::addColumn<QString>("sLimit"); // --limit-rate
    const QString sChunks = QStringLiteral("live/chunks/");
    const QString sStore = QStringLiteral("store");
    QTest::newRow("404") << sChunks << int(EHttpFault::NotFound) << -1 << sStore << false << QString();
    QTest::newRow("500 three times") << sChunks << int(EHttpFault::ServerError) << 3 << sStore << true << QString();
    QTest::newRow("truncated") << sChunks << int(EHttpFault::Truncate) << -1 << sStore << false << QString();
    // Stored chunks: a wrong byte makes a wrong hash; packed ones fail to unpack.
    QTest::newRow("wrong bytes three times") << sChunks << int(EHttpFault::WrongBytes) << 3 << sStore << true << QString();
    QTest::newRow("wrong bytes") << sChunks << int(EHttpFault::WrongBytes) << -1 << sStore << false << QString();
    QTest::newRow("damaged deflate once") << sChunks << int(EHttpFault::WrongBytes) << 1 << QStringLiteral("deflate") << true << QString();
    QTest::newRow("dripping once") << sChunks << int(EHttpFault::Drip) << 1 << sStore << true << QString();
    QTest::newRow("too long") << sChunks << int(EHttpFault::OverLong) << -1 << sStore << false << QString();
    // Read through the bandwidth limit, answers are whole or fail the same; a drip still crawls.
    const QString sLimit = QStringLiteral("20M");
    QTest::newRow("reset once, limited") << sChunks << int(EHttpFault::ResetMidway) << 1 << sStore << true << sLimit;
    QTest::newRow("truncated, limited") << sChunks << int(EHttpFault::Truncate) << -1 << sStore << false << sLimit;
    QTest::newRow("dripping once, limited") << sChunks << int(EHttpFault::Drip) << 1 << sStore << true << sLimit;
    // The documents get the same attempts, but only where another one may succeed.
    QTest::newRow("package document 503 once") << "live/package.json" << int(EHttpFault::Unavailable) << 1 << sStore << true << QString();
    QTest::newRow("asset document reset once") << "live/assets.json" << int(EHttpFault::ResetMidway) << 1 << sStore << true << QString();
    QTest::newRow("package document 404") << "live/package.json" << int(EHttpFault::NotFound) << -1 << sStore << false << QString();
}

void tst_Install::brokenAnswers()
{
    QFETCH(QString, sPrefix);
    QFETCH(int, nFault);
    QFETCH(int, nTimes);
    QFETCH(QString, sMethod);
    QFETCH(bool, bInstalls);
    QFETCH(QString, sLimit);
    TInstallBed oBed;
    oBed.writeSource(QStringLiteral("data/small.txt"), "small\n");
    oBed.writeSource(QStringLiteral("data/notes.txt"), QByteArray("a line that packs well\n").repeated(4000));
    QVERIFY(publishSmallClient(oBed, 9 << 20, 2, sMethod));
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oBed.cdn()));
    oBed.serveFrom(oServer.url(QString()));
    oServer.setFaultForPrefix(sPrefix, EHttpFault(nFault), nTimes);
    QStringList lExtra = oBed.quickStallSettings();
    QVERIFY(!lExtra.isEmpty());
    if (!sLimit.isEmpty())
        lExtra << QStringLiteral("--limit-rate") << sLimit;
    const TToolRun oRun = oBed.install(QStringLiteral("install"), QString(), lExtra);
    QStringList lFaulty;
    for (const TRecordedHttpRequest& oRequest : oServer.requests()) {
        if (oRequest.path().startsWith(sPrefix))
            lFaulty << oRequest.path();
    }
    QVERIFY(!lFaulty.isEmpty());
    const bool bChunks = sPrefix.endsWith(QLatin1Char('/'));
    if (bInstalls) {
        QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
        QVERIFY(oBed.installedAsPublished());
        // Asked for again (the network layer may itself resend after a reset).
        if (!bChunks)
            QVERIFY(lFaulty.size() > nTimes && lFaulty.size() <= 4);
        return;
    }
    QVERIFY2(oRun.nExitCode == 1 && oRun.sErr.contains(sPrefix), qPrintable(oRun.describe()));
    QCOMPARE(QFileInfo::exists(oBed.folder() + QStringLiteral("/partial-package.json")), bChunks);
    QVERIFY(!QFileInfo::exists(oBed.folder() + QStringLiteral("/package.json")));
    if (!bChunks) {
        // A document that is not there is not asked for again.
        QCOMPARE(lFaulty.size(), 1);
        return;
    }
    // At most four attempts per chunk (a request on a connection the server had
    // just closed may fail before the server sees it), then the chunk is given up.
    // Each retry asks for the rest from where the last one broke off, a range the
    // network layer may itself send twice; counted on the largest chunk, whose
    // rests never shrink to nothing.
    const QString sLargest = *std::max_element(lFaulty.begin(), lFaulty.end(), [&](const QString& sLeft, const QString& sRight) {
        return QFileInfo(oBed.cdn() + QLatin1Char('/') + sLeft).size() < QFileInfo(oBed.cdn() + QLatin1Char('/') + sRight).size();
    });
    QStringList lAttempts;
    for (const TRecordedHttpRequest& oRequest : oServer.requests()) {
        const QString sRange = QString::fromLatin1(oRequest.header("Range"));
        if (oRequest.path() == sLargest && (sRange.isEmpty() || !lAttempts.contains(sRange)))
            lAttempts << sRange;
    }
    QVERIFY2(lAttempts.size() >= 2 && lAttempts.size() <= 4, qPrintable(lAttempts.join(QLatin1Char(' '))));
}

void tst_Install::requestsFollowTheSystemProxy_data()
{
    // The server records every request and answers it as proxy and origin alike;
    // a request through a proxy names the whole address. "cdn.invalid" resolves nowhere.
    QTest::addColumn<QString>("sVariable");
    QTest::addColumn<QString>("sHost"); // empty: the server's own address, which no_proxy names
    QTest::addColumn<bool>("bProxied");
    QTest::newRow("http_proxy") << "http_proxy" << "cdn.invalid" << true;
    QTest::newRow("all_proxy") << "all_proxy" << "cdn.invalid" << true;
    QTest::newRow("no_proxy names the host") << "http_proxy" << QString() << false;
}

void tst_Install::requestsFollowTheSystemProxy()
{
    QFETCH(QString, sVariable);
    QFETCH(QString, sHost);
    QFETCH(bool, bProxied);
    TInstallBed oBed;
    QVERIFY(publishSmallClient(oBed, 1 << 20, 5));
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oBed.cdn()));
    oBed.serveFrom(sHost.isEmpty() ? oServer.url(QString()) : QUrl(QStringLiteral("http://%1/").arg(sHost)));
    QProcessEnvironment oEnvironment;
    for (const char* pName : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "ALL_PROXY", "NO_PROXY"})
        oEnvironment.insert(QLatin1String(pName), QString());
    oEnvironment.insert(sVariable, QStringLiteral("http://127.0.0.1:%1").arg(oServer.port()));
    if (sHost.isEmpty())
        oEnvironment.insert(QStringLiteral("no_proxy"), QStringLiteral("localhost,127.0.0.1"));

    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install"), QString(), {}, false, oEnvironment), 0);
    QVERIFY(oBed.installedAsPublished());
    const QList<TRecordedHttpRequest> lRequests = oServer.requests();
    QVERIFY(lRequests.size() >= 3);
    for (const TRecordedHttpRequest& oRequest : lRequests)
        QVERIFY2(oRequest.m_aTarget.startsWith("http://") == bProxied, oRequest.m_aTarget.constData());
}

void tst_Install::jsonProgressForScripts()
{
    TInstallBed oBed;
    QVERIFY(publishSmallClient(oBed, 3 << 20, 6));
    QVERIFY2(oBed.serve(), qPrintable(oBed.nginx().errorString()));
    // The run's lines; one that is no JSON object reads as an empty one, which has none of the keys.
    TToolRun oRun;
    const auto runLines = [&](const QString& sCommand) {
        oRun = oBed.install(sCommand, QString(), {QStringLiteral("--progress"), QStringLiteral("json")});
        QList<QJsonObject> lObjects;
        for (const QString& sLine : oRun.sOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lObjects << QJsonDocument::fromJson(sLine.toUtf8()).object();
        return lObjects;
    };

    QList<QJsonObject> lLines = runLines(QStringLiteral("install"));
    QVERIFY2(oRun.nExitCode == 0 && !oRun.sErr.contains(QLatin1String("download:")) && lLines.size() >= 2, qPrintable(oRun.describe()));
    const QJsonObject oOutcome = lLines.takeLast();
    QCOMPARE(oOutcome.value(QStringLiteral("outcome")).toString(), QStringLiteral("complete"));
    QCOMPARE(oOutcome.value(QStringLiteral("version")).toString(), QStringLiteral("P1 Aa1"));
    QJsonObject oLastDownload;
    for (const QJsonObject& oLine : qAsConst(lLines)) {
        for (const char* pKey : {"step", "bytesDone", "bytesTotal", "bytesPerSecond", "secondsLeft"})
            QVERIFY2(oLine.contains(QLatin1String(pKey)), QJsonDocument(oLine).toJson().constData());
        if (oLine.value(QStringLiteral("step")) == QStringLiteral("download"))
            oLastDownload = oLine;
    }
    QVERIFY(oLastDownload.value(QStringLiteral("bytesTotal")).toDouble() > 3 << 20);
    QCOMPARE(oLastDownload.value(QStringLiteral("bytesDone")), oLastDownload.value(QStringLiteral("bytesTotal")));

    // A failure ends with its reason.
    QVERIFY(QFile::remove(oBed.cdn() + QStringLiteral("/live/assets.json")));
    lLines = runLines(QStringLiteral("update"));
    QVERIFY2(oRun.nExitCode == 1 && !lLines.isEmpty(), qPrintable(oRun.describe()));
    QCOMPARE(lLines.last().value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
    QVERIFY(lLines.last().value(QStringLiteral("reason")).toString().contains(QLatin1String("assets.json")));
}

void tst_Install::uninstallDeletesExactlyWhatThePackageLists()
{
    TInstallBed oBed;
    oBed.writeSource(QStringLiteral("data/maps/small.txt"), "small\n");
    QVERIFY(publishSmallClient(oBed, 1 << 20, 7));
    QVERIFY2(oBed.serve(), qPrintable(oBed.nginx().errorString()));
    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install")), 0);
    // The player's own files stay, in the package's folders too; so does a file
    // outside the folder that a hostile marker names.
    const QString sFolder = oBed.folder();
    QVERIFY(writeTestFile(sFolder + QStringLiteral("/saves/slot1.sav"), "mine"));
    QVERIFY(writeTestFile(sFolder + QStringLiteral("/bin/notes.txt"), "mine too"));
    QVERIFY(writeTestFile(oBed.path(QStringLiteral("install/outside.txt")), "not the package's"));
    // Bytes of a chunk a run left partly received go with the package.
    QVERIFY(writeTestFile(sFolder + QStringLiteral("/.corvane-partial/") + QString(64, QLatin1Char('a')), "kept"));
    // The launcher's own marker of the default client is the package's too.
    QVERIFY(writeTestFile(sFolder + QStringLiteral("/default"), QByteArray()));
    QJsonObject oPartial = readJson(sFolder + QStringLiteral("/package.json"));
    QJsonArray lFiles = oPartial.value(QStringLiteral("files")).toArray();
    QJsonObject oHostile = lFiles.first().toObject();
    oHostile.insert(QStringLiteral("localfile"), QStringLiteral("../outside.txt"));
    oPartial.insert(QStringLiteral("files"), lFiles << oHostile);
    QVERIFY(writeJson(sFolder + QStringLiteral("/partial-package.json"), oPartial));

    TToolRun oRun = runBuiltTool(QStringLiteral("corvane-install"), {QStringLiteral("uninstall"), sFolder});
    QVERIFY2(oRun.nExitCode == 0 && oRun.sErr.contains(QLatin1String("3 files")), qPrintable(oRun.describe()));
    QCOMPARE(TInstallBed::files(sFolder).keys(), QStringList({QStringLiteral("bin/notes.txt"), QStringLiteral("saves/slot1.sav")}));
    for (const char* pMarker : {"/package.json", "/partial-package.json", "/assets.json", "/default"})
        QVERIFY(!QFileInfo::exists(sFolder + QLatin1String(pMarker)));
    // The folders it emptied went; nothing else did.
    QVERIFY(!QFileInfo::exists(sFolder + QStringLiteral("/data")));
    QVERIFY(QFileInfo::exists(oBed.path(QStringLiteral("install/outside.txt"))));

    oRun = runBuiltTool(QStringLiteral("corvane-install"), {QStringLiteral("uninstall"), sFolder});
    QVERIFY2(oRun.nExitCode == 1 && oRun.sErr.contains(QLatin1String("Nothing is installed")), qPrintable(oRun.describe()));
}

// The installation manager's decisions that need no download: which package is
// the default, and which packages may not be installed at all.
void tst_Install::defaultIsTheFirstInstalledPackageWithTheMarker()
{
    QTemporaryDir oLauncher;
    const auto pHelper = std::make_shared<TLauncherFilesystemHelper>(oLauncher.path());
    const auto pMetadata = packagesMetadata(3, QString(), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    // a: marked default but not installed; b and c: installed and marked.
    QVERIFY(writeTestFile(oLauncher.filePath(QStringLiteral("packages/a/default")), QByteArray()));
    for (const char* pFolder : {"b", "c"}) {
        QVERIFY(writeTestFile(oLauncher.filePath(QStringLiteral("packages/%1/default").arg(QLatin1String(pFolder))), QByteArray()));
        QVERIFY(writeTestFile(oLauncher.filePath(QStringLiteral("packages/%1/partial-package.json").arg(QLatin1String(pFolder))), "{}"));
    }
    TInstallationManager oManager(pMetadata, pHelper);
    const auto& lPackages = pMetadata->packages();
    QCOMPARE((QList<bool>{lPackages[0]->isDefault(), lPackages[1]->isDefault(), lPackages[2]->isDefault()}),
             (QList<bool>{false, true, false}));

    // Choosing another default leaves exactly one marker, in a folder made for it.
    oManager.setDefaultPackage(pMetadata->packages()[0]);
    for (const char* pFolder : {"a", "b", "c"})
        QCOMPARE(QFileInfo::exists(oLauncher.filePath(QStringLiteral("packages/%1/default").arg(QLatin1String(pFolder)))), *pFolder == 'a');
}

void tst_Install::unusableFolderIsRefusedWithoutTouchingTheDisk_data()
{
    QTest::addColumn<QString>("sFolder");
    QTest::newRow("empty") << "";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("separator") << "a/b";
    QTest::newRow("another package's") << "shared";
}

void tst_Install::unusableFolderIsRefusedWithoutTouchingTheDisk()
{
    QFETCH(QString, sFolder);
    QTemporaryDir oLauncher;
    const auto pHelper = std::make_shared<TLauncherFilesystemHelper>(oLauncher.path());
    const auto pMetadata = packagesMetadata(2, QString(), {QStringLiteral("shared"), sFolder});
    TInstallationManager oManager(pMetadata, pHelper);
    QSignalSpy oStarted(&oManager, &TInstallationManager::installationOrUpdateStarted);
    QSignalSpy oFinished(&oManager, &TInstallationManager::installationOrUpdateFinished);
    QSignalSpy oAllFinished(&oManager, &TInstallationManager::allStartedUpdatesFinished);

    oManager.installOrUpdatePackage(pMetadata->packages()[1]);
    QCOMPARE(QList<int>({oStarted.count(), oFinished.count(), oAllFinished.count()}), QList<int>({1, 1, 1}));
    const auto pInstallation = oFinished.first().first().value<std::shared_ptr<TPackageInstallation>>();
    QVERIFY(!pInstallation->succeeded());
    QCOMPARE(pInstallation->errorReason(), InvalidPackage);
    QVERIFY(!pInstallation->errorMessage().isEmpty());
    QVERIFY(QDir(oLauncher.filePath(QStringLiteral("packages"))).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

void tst_Install::signedMetadataInstalls_data()
{
    QTest::addColumn<QString>("sCase");
    QTest::addColumn<int>("nExitCode");
    QTest::addColumn<QString>("sSays");
    QTest::newRow("signed, key trusted") << "sound" << 0 << "is complete and verified";
    QTest::newRow("signed, key not given: the metadata as it is") << "no key" << 0 << "is complete and verified";
    QTest::newRow("changed package document") << "changed document" << 1 << "are not the documents the metadata names";
    QTest::newRow("older signed state served again, serial kept in --state")
        << "rollback" << 1 << "The signed metadata was refused: rollback from serial";
    QTest::newRow("another publisher's key") << "other key" << 1 << "The signed metadata was refused: unknown key";
    QTest::newRow("--trusted-key without --metadata") << "no metadata" << 2 << "--trusted-key needs --metadata";
}

// corvane-install takes a package from the metadata through the launcher's own checks.
void tst_Install::signedMetadataInstalls()
{
    QFETCH(QString, sCase);
    QFETCH(int, nExitCode);
    QFETCH(QString, sSays);
    TInstallBed oBed;
    QVERIFY(publishSmallClient(oBed, 100000, 5));
    QVERIFY2(oBed.serve(), qPrintable(oBed.nginx().errorString()));
    const auto keygen = [&](const QString& sFile) { return runPublish({QStringLiteral("keygen"), oBed.path(sFile)}).sOut.trimmed(); };
    QString sKey = keygen(QStringLiteral("signing.key"));
    QVERIFY(!sKey.isEmpty());
    const QString sMetadata = oBed.cdn() + QStringLiteral("/metadata.json");
    const auto sign = [&] {
        CORVANE_VERIFY_EXIT(runPublish(QStringLiteral("metadata --package Live --directory live --url live/package.json --assets-url "
                                                      "live/assets.json --sign")
                                           .split(QLatin1Char(' '))
                                       + QStringList{oBed.path(QStringLiteral("signing.key")), QStringLiteral("--out"), sMetadata}),
                            0);
    };
    sign();
    const auto install = [&](const QStringList& lExtra) {
        const QStringList lArguments{QStringLiteral("install"), oBed.folder(), QStringLiteral("--metadata"),
                                     oBed.nginx().url(QStringLiteral("/metadata.json")).toString(), QStringLiteral("--package"),
                                     QStringLiteral("Live"), QStringLiteral("--state"), oBed.path(QStringLiteral("state.ini"))};
        return runBuiltTool(QStringLiteral("corvane-install"), lArguments + lExtra, false, oBed.installEnvironment());
    };
    if (sCase == QLatin1String("changed document")) {
        QJsonObject oDocument = readJson(oBed.cdn() + QStringLiteral("/live/package.json"));
        oDocument.insert(QStringLiteral("executable"), QStringLiteral("bin/other"));
        QVERIFY(writeJson(oBed.cdn() + QStringLiteral("/live/package.json"), oDocument));
    } else if (sCase == QLatin1String("rollback")) {
        const QByteArray aOlder = readTestFile(sMetadata + QStringLiteral(".signed"));
        sign();
        QCOMPARE(install({QStringLiteral("--trusted-key"), sKey}).nExitCode, 0);
        QVERIFY(writeTestFile(sMetadata + QStringLiteral(".signed"), aOlder));
    } else if (sCase == QLatin1String("other key")) {
        sKey = keygen(QStringLiteral("other.key"));
    }
    const QStringList lKey = sCase == QLatin1String("no key") ? QStringList() : QStringList{QStringLiteral("--trusted-key"), sKey};
    const TToolRun oRun = sCase == QLatin1String("no metadata") ? oBed.install(QStringLiteral("install"), QString(), lKey) : install(lKey);
    QVERIFY2(oRun.nExitCode == nExitCode && oRun.sErr.contains(sSays), qPrintable(oRun.describe()));
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
