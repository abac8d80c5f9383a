// corvane-publish build: what it writes reads back as the launcher reads it, and
// publishing one version after another into the same folder.

#include "publishtool.h"

#include "launcher/documents/packageconfigurationreader.h"
#include "shared/packeddata.h"

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/inotify.h>
#include <time.h>

#include <memory>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

namespace {

using TExpectedTree = QMap<QString, QByteArray>;

// A client folder with what a real one has: an executable, a library, an empty
// file, a file name beyond ASCII, the same bytes under several names (in the package
// and in the assets), symbolic links to a file and to a folder inside it, and files
// of 20 MiB with and without boundaries, or one file of two chunks. Returns what the
// launcher must install; only the client and the link to it are executable.
TExpectedTree makeClient(const QString& sRoot, bool bLarge)
{
    TExpectedTree hFiles;
    const auto add = [&](const QString& sPath, const QByteArray& aBytes) {
        writeTestFile(sRoot + QLatin1Char('/') + sPath, aBytes, sPath == QLatin1String("bin/client"));
        hFiles.insert(sPath, aBytes);
    };
    const QByteArray aReadme = "Corvane Online\nRead me first.\n";
    add(QStringLiteral("bin/client"), "#!/bin/sh\necho running\n");
    add(QStringLiteral("bin/libgame.so"), noiseBytes(300000, 7) + QByteArray(200000, 'x'));
    add(QStringLiteral("readme.txt"), aReadme);
    add(QStringLiteral("empty.cfg"), QByteArray());
    add(QString::fromUtf8("Sprachen/Größe – ä.txt"), "groß\n");
    add(QStringLiteral("docs/manual.txt"), "manual\n");
    add(QStringLiteral("assets/sounds/readme-again.txt"), aReadme);
    add(QStringLiteral("assets/textures/stone.tex"), noiseBytes(150000, 9));
    add(QStringLiteral("assets/empty.dat"), QByteArray());
    if (bLarge)
        add(QStringLiteral("data/zeros.bin"), QByteArray(20 << 20, '\0'));
    add(QStringLiteral("data/level.pak"), noiseBytes(bLarge ? 20 << 20 : 10 << 20, 11));
    QFile::link(QStringLiteral("client"), sRoot + QStringLiteral("/bin/client-link"));
    hFiles.insert(QStringLiteral("bin/client-link"), hFiles.value(QStringLiteral("bin/client")));
    QFile::link(QStringLiteral("docs"), sRoot + QStringLiteral("/manual"));
    hFiles.insert(QStringLiteral("manual/manual.txt"), hFiles.value(QStringLiteral("docs/manual.txt")));
    QDir().mkpath(sRoot + QStringLiteral("/empty-folder"));
    return hFiles;
}

QStringList buildArguments(const QString& sSource, const QString& sOutput, const QString& sMethod, bool bAssets = true)
{
    return QStringList{QStringLiteral("build"), QStringLiteral("--source"), sSource, QStringLiteral("--out"), sOutput,
                       QStringLiteral("--method"), sMethod, QStringLiteral("--parameter"), QStringLiteral("two words")}
           + QStringLiteral("--version 2.5 --executable bin/client --parameter -windowed --jobs 2").split(QLatin1Char(' '))
           + (bAssets ? QStringLiteral("--assets assets --asset-version A7").split(QLatin1Char(' ')) : QStringList());
}

// What the launcher would download for this chunk, unpacked; null when it is not there.
QByteArray fetchLocal(const TPackageConfigurationReader& oReader, const TChunkDescription& oChunk)
{
    const QByteArray aPacked = readTestFile(oReader.url(oChunk).toLocalFile());
    if (oChunk.packedHash() != shared::TSha256::hash(aPacked) || oChunk.packedSize() != quint64(aPacked.size()))
        return QByteArray();
    const QByteArray aBytes = oChunk.unpack() ? shared::unpackStrict(aPacked) : aPacked;
    return aBytes.isNull() ? QByteArray("", 0) : aBytes;
}

QSet<QString> chunkUrls(const QString& sOutput)
{
    const auto pReader = readPublished(sOutput);
    QSet<QString> lUrls;
    for (const TChunkDescription& oChunk : pReader->chunks())
        lUrls.insert(pReader->url(oChunk).toLocalFile());
    for (const TFileDescription& oFile : pReader->files()) {
        if (oFile.packedForm().hasUrl())
            lUrls.insert(pReader->url(oFile.packedForm()).toLocalFile());
    }
    return lUrls;
}

// The launcher reads back every file byte for byte, from its chunks and from its
// own packed form, and every chunk file is named by its content.
void verifyReadsBack(const QString& sOutput, const TExpectedTree& hExpected, const QString& sMethod)
{
    QCOMPARE(unsoundness(sOutput), QString());
    const auto pReader = readPublished(sOutput);
    QVERIFY(pReader->isValid());
    QCOMPARE(QStringList({pReader->version(), pReader->assetVersion(), pReader->executable()}) + pReader->parameters(),
             QStringList({"2.5", "A7", "bin/client", "two words", "-windowed"}));
    QCOMPARE(pReader->files().size(), size_t(hExpected.size()));
    for (const TFileDescription& oFile : pReader->files()) {
        QVERIFY2(hExpected.contains(oFile.localFile()), qPrintable(oFile.localFile()));
        const QByteArray aExpected = hExpected[oFile.localFile()];
        QCOMPARE(oFile.unpackedSize(), quint64(aExpected.size()));
        QVERIFY(oFile.unpackedHash() == shared::TSha256::hash(aExpected));
        QCOMPARE(oFile.executable(), oFile.localFile().startsWith(QLatin1String("bin/client")));
        QByteArray aBuilt("", 0);
        for (const qint32 nChunk : oFile.chunks()) {
            QVERIFY(nChunk >= 0 && size_t(nChunk) < pReader->chunks().size());
            const TChunkDescription& oChunk = pReader->chunks()[size_t(nChunk)];
            const QByteArray aChunk = fetchLocal(*pReader, oChunk);
            QVERIFY2(!aChunk.isNull() && oChunk.unpackedHash() == shared::TSha256::hash(aChunk), qPrintable(oFile.localFile()));
            // No chunk beyond 16 MiB, even without a boundary in sight.
            QVERIFY(aChunk.size() <= 16 << 20);
            aBuilt += aChunk;
        }
        QVERIFY2(aBuilt == aExpected, qPrintable(oFile.localFile()));
        // A file the launcher replaces whole comes in one download; a chunked one never does.
        QCOMPARE(oFile.packedForm().hasUrl(), oFile.chunks().size() <= 1);
        QVERIFY2(!oFile.packedForm().hasUrl() || fetchLocal(*pReader, oFile.packedForm()) == aExpected,
                 qPrintable(oFile.localFile()));
    }
    // Each chunk is listed once across both documents.
    QSet<QByteArray> lHashes;
    for (const TChunkDescription& oChunk : pReader->chunks())
        lHashes.insert(oChunk.unpackedHash().toByteArray());
    QCOMPARE(size_t(lHashes.size()), pReader->chunks().size());
    // The asset document lists exactly the files below the asset folder.
    const QByteArray aPackage = readTestFile(sOutput + QStringLiteral("/package.json"));
    QCOMPARE(readTestFile(sOutput + QStringLiteral("/assets.json")).count("\"assets/"), 3);
    QVERIFY(!aPackage.contains("\"assets/") && !aPackage.contains("file:"));
    // Chunk files are named by content below chunks/, addressed relative to the documents.
    const QRegularExpression oName(QStringLiteral("^chunks/([0-9a-f]{2})/\\1[0-9a-f]{62}\\.%1$").arg(sMethod));
    for (const QString& sPath : chunkUrls(sOutput))
        QVERIFY2(oName.match(QDir(sOutput).relativeFilePath(sPath)).hasMatch(), qPrintable(sPath));
}

} // namespace

class TPublishBuildTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void largeClientThenOneByteChanged();
    void republishingReadsOnlyWhatChanged();
    void documentsSwapBackToBackAndDamageIsRepaired();

private:
    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_sSource;
    QString m_sOutput;
};

void TPublishBuildTest::init()
{
    m_pDir = std::make_unique<QTemporaryDir>();
    m_sSource = m_pDir->filePath(QStringLiteral("client"));
    m_sOutput = m_pDir->filePath(QStringLiteral("cdn/live"));
}

void TPublishBuildTest::largeClientThenOneByteChanged()
{
    const TExpectedTree hExpected = makeClient(m_sSource, true);
    CORVANE_VERIFY_EXIT(runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store"))), 0);
    verifyReadsBack(m_sOutput, hExpected, QStringLiteral("store"));
    const QMap<QString, QString> hBefore = treeState(m_sOutput);
    const QSet<QString> lFirstChunks = chunkUrls(m_sOutput);

    // One byte changed in the middle of a large file, a file added, one removed.
    QByteArray aLevel = readTestFile(m_sSource + QStringLiteral("/data/level.pak"));
    aLevel[10 << 20] = char(aLevel[10 << 20] ^ 0x5A);
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/data/level.pak"), aLevel));
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/data/new.bin"), noiseBytes(5000, 99))
            && QFile::remove(m_sSource + QStringLiteral("/readme.txt")));
    const TToolRun oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store")));

    // The changed chunk of the large file and the new file; the rest is shared.
    const QSet<QString> lNew = chunkUrls(m_sOutput).subtract(lFirstChunks);
    quint64 nNewBytes = 0;
    for (const QString& sPath : lNew)
        nNewBytes += quint64(QFileInfo(sPath).size());
    QVERIFY2(oRun.nExitCode == 0 && lNew.size() == 2
                 && oRun.sOut.contains(QStringLiteral("New chunk files: 2, %1 bytes").arg(nNewBytes)),
             qPrintable(oRun.describe()));
    // Every chunk file of the first version is untouched (same bytes, inode and
    // time); what is new besides folders are the new chunk files.
    const QMap<QString, QString> hAfter = treeState(m_sOutput);
    for (const QString& sEntry : hBefore.keys() + hAfter.keys()) {
        if (hBefore.contains(sEntry) && sEntry.startsWith(QLatin1String("chunks/")))
            QVERIFY2(hAfter.value(sEntry) == hBefore.value(sEntry), qPrintable(sEntry));
        else if (!hBefore.contains(sEntry))
            QVERIFY2(hAfter[sEntry] == QLatin1String("folder") || lNew.contains(QDir(m_sOutput).filePath(sEntry)),
                     qPrintable(sEntry));
    }
    QCOMPARE(unsoundness(m_sOutput), QString());
}

void TPublishBuildTest::republishingReadsOnlyWhatChanged()
{
    const TExpectedTree hExpected = makeClient(m_sSource, false);
    // Past every change in the client by the clock that stamps them, as for one that was not just written.
    timespec oWritten{}, oNow{};
    clock_gettime(CLOCK_REALTIME_COARSE, &oWritten);
    QTRY_VERIFY(clock_gettime(CLOCK_REALTIME_COARSE, &oNow) == 0
                && (oNow.tv_sec - oWritten.tv_sec) * 1000000000 + (oNow.tv_nsec - oWritten.tv_nsec) > 0);
    const QStringList lBuild = buildArguments(m_sSource, m_sOutput, QStringLiteral("deflate"));
    TToolRun oRun = runPublish(lBuild);
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Read 12 files")), qPrintable(oRun.describe()));
    verifyReadsBack(m_sOutput, hExpected, QStringLiteral("deflate"));
    oRun = runPublish(lBuild);
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Read 0 files (0 bytes); 12 unchanged"))
                 && oRun.sOut.contains(QStringLiteral("New chunk files: 0, 0 bytes")),
             qPrintable(oRun.describe()));
    const QSet<QString> lFirstChunks = chunkUrls(m_sOutput);
    const QString sOldPackage = m_pDir->filePath(QStringLiteral("old-package.json"));
    const QString sOldAssets = m_pDir->filePath(QStringLiteral("old-assets.json"));
    QVERIFY(QFile::copy(m_sOutput + QStringLiteral("/package.json"), sOldPackage)
            && QFile::copy(m_sOutput + QStringLiteral("/assets.json"), sOldAssets));

    // The last chunk of a file of two rewritten at once and at the same size, with the
    // modification time put back; small files changed; the chunk file of an unchanged
    // one taken by a prune. All are read again; that chunk file is packed again.
    const QString sLevel = m_sSource + QStringLiteral("/data/level.pak");
    struct stat oLevelBefore {};
    QVERIFY(::stat(QFile::encodeName(sLevel).constData(), &oLevelBefore) == 0);
    QByteArray aLevel = readTestFile(sLevel);
    aLevel[aLevel.size() - 1] = char(aLevel[aLevel.size() - 1] ^ 0x5A);
    const timespec aTimes[2] = {oLevelBefore.st_atim, oLevelBefore.st_mtim};
    QVERIFY(writeTestFile(sLevel, aLevel) && ::utimensat(AT_FDCWD, QFile::encodeName(sLevel).constData(), aTimes, 0) == 0);
    QVERIFY(writeTestFile(m_sSource + QString::fromUtf8("/Sprachen/Größe – ä.txt"), "GROSS\n"));
    // Seen twice, through the link: two files, one address.
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/docs/manual.txt"), "manual, second edition\n"));
    const auto pBefore = readPublished(m_sOutput);
    for (const TFileDescription& oFile : pBefore->files()) {
        if (oFile.localFile() == QLatin1String("bin/libgame.so"))
            QVERIFY(QFile::remove(pBefore->url(oFile.packedForm()).toLocalFile()));
    }
    oRun = runPublish(lBuild);
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Read 5 files")), qPrintable(oRun.describe()));
    // The same documents as a build that reads everything, with another number of jobs.
    const QString sFresh = m_pDir->filePath(QStringLiteral("fresh"));
    QStringList lFresh = buildArguments(m_sSource, sFresh, QStringLiteral("deflate"));
    lFresh[lFresh.indexOf(QStringLiteral("--jobs")) + 1] = QStringLiteral("5");
    QVERIFY(runPublish(lFresh).nExitCode == 0);
    for (const QString& sDocument : {QStringLiteral("/package.json"), QStringLiteral("/assets.json")})
        QCOMPARE(readTestFile(m_sOutput + sDocument), readTestFile(sFresh + sDocument));
    QCOMPARE(unsoundness(m_sOutput), QString());

    // The changed chunk and the changed small files are new, and as many went.
    const QSet<QString> lSecondChunks = chunkUrls(m_sOutput);
    const QSet<QString> lGone = QSet<QString>(lFirstChunks).subtract(lSecondChunks);
    QVERIFY(QSet<QString>(lSecondChunks).subtract(lFirstChunks).size() == 3 && lGone.size() == 3);

    // What the old version alone needs stays while its documents are kept, and a
    // dry run only lists it; then it goes.
    const QMap<QString, QString> hBefore = treeState(m_sOutput);
    QVERIFY(runPublish({QStringLiteral("prune"), m_sOutput, QStringLiteral("--keep"), sOldPackage, QStringLiteral("--keep"),
                        sOldAssets}).nExitCode == 0);
    const TToolRun oDryRun = runPublish({QStringLiteral("prune"), m_sOutput, QStringLiteral("--dry-run")});
    QVERIFY2(oDryRun.nExitCode == 0, qPrintable(oDryRun.describe()));
    for (const QString& sPath : lGone)
        QVERIFY2(oDryRun.sOut.contains(QDir(m_sOutput).relativeFilePath(sPath)), qPrintable(oDryRun.describe()));
    QCOMPARE(treeState(m_sOutput), hBefore);
    QVERIFY(runPublish({QStringLiteral("prune"), m_sOutput}).nExitCode == 0);
    for (const QString& sPath : lGone)
        QVERIFY2(!QFileInfo::exists(sPath), qPrintable(sPath));
    QCOMPARE(unsoundness(m_sOutput), QString());
}

void TPublishBuildTest::documentsSwapBackToBackAndDamageIsRepaired()
{
    makeClient(m_sSource, false);
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store"))).nExitCode == 0);
    const auto pFirst = readPublished(m_sOutput);
    const QString sVictim = pFirst->url(pFirst->chunks().front()).toLocalFile();
    QVERIFY(QFile::resize(sVictim, QFileInfo(sVictim).size() / 2));
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/assets/new.dat"), "new"));

    // A reader between the two renames may meet a mismatched pair: nothing but the
    // renames may happen there, and the package document, which the launcher asks
    // for first, goes first.
    const int nWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const quint32 nEvents = IN_MOVED_TO | IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE;
    QVERIFY(nWatch >= 0 && inotify_add_watch(nWatch, QFile::encodeName(m_sOutput).constData(), nEvents) >= 0);
    const TToolRun oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store")));
    QStringList lEvents;
    alignas(inotify_event) char aBuffer[1 << 16];
    for (ssize_t nRead; (nRead = ::read(nWatch, aBuffer, sizeof aBuffer)) > 0;) {
        for (char* pAt = aBuffer; pAt < aBuffer + nRead;) {
            const auto* pEvent = reinterpret_cast<const inotify_event*>(pAt);
            lEvents << QLatin1String(pEvent->mask & IN_MOVED_TO ? "renamed to " : "wrote ")
                           + QString::fromUtf8(pEvent->len ? pEvent->name : "");
            pAt += sizeof(inotify_event) + pEvent->len;
        }
    }
    ::close(nWatch);
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Replaced 1 damaged chunk files")),
             qPrintable(oRun.describe()));
    const int nFirst = lEvents.indexOf(QStringLiteral("renamed to package.json"));
    QVERIFY2(nFirst >= 0 && lEvents.value(nFirst + 1) == QLatin1String("renamed to assets.json"),
             qPrintable(lEvents.join(QLatin1Char('\n'))));
    QCOMPARE(unsoundness(m_sOutput), QString());

    // A later version without assets takes the asset document away.
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store"), false)).nExitCode == 0);
    QVERIFY(!QFileInfo::exists(m_sOutput + QStringLiteral("/assets.json")) && readPublished(m_sOutput)->assetVersion().isEmpty());
    QCOMPARE(unsoundness(m_sOutput), QString());
}

QTEST_GUILESS_MAIN(TPublishBuildTest)
#include "tst_publishbuild.moc"
