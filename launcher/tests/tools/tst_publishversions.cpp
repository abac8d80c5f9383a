#include "publishedclient.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// True once the system's coarse clock, which stamps changes, has moved past
// every change in the folder, as it has for a client that was not just written.
bool changesSettled(const QString& sFolder)
{
    timespec oNow{};
    clock_gettime(CLOCK_REALTIME_COARSE, &oNow);
    QDirIterator oFiles(sFolder, QDir::Files, QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (oFiles.hasNext()) {
        struct stat oStatus {};
        if (::stat(QFile::encodeName(oFiles.next()).constData(), &oStatus) != 0)
            return false;
        if (oStatus.st_ctim.tv_sec > oNow.tv_sec
            || (oStatus.st_ctim.tv_sec == oNow.tv_sec && oStatus.st_ctim.tv_nsec >= oNow.tv_nsec))
            return false;
    }
    return true;
}

} // namespace

// Publishing one version after another into the same folder.
class TPublishVersionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void secondVersionWritesOnlyNewChunks();
    void unchangedFilesAreNotReadAgain();
    void damagedChunkFileIsReplacedAndAssetDocumentGoes();
    void documentsAreReplacedBackToBack();
    void pruneAndDiffBetweenVersions();

private:
    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_sSource;
    QString m_sOutput;
};

void TPublishVersionsTest::init()
{
    m_pDir = std::make_unique<QTemporaryDir>();
    m_sSource = m_pDir->filePath(QStringLiteral("client"));
    m_sOutput = m_pDir->filePath(QStringLiteral("cdn"));
}

void TPublishVersionsTest::secondVersionWritesOnlyNewChunks()
{
    makeClient(m_sSource, ESize::Large);
    TToolRun oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store")));
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    const QMap<QString, QString> hBefore = treeState(m_sOutput);
    const QSet<QString> lFirstChunks = chunkUrls(*readBack(m_sOutput));

    // One byte changed in the middle of a large file, a file added, one removed.
    QByteArray aLevel = readTestFile(m_sSource + QStringLiteral("/data/level.pak"));
    aLevel[10 << 20] = char(aLevel[10 << 20] ^ 0x5A);
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/data/level.pak"), aLevel));
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/data/new.bin"), noiseBytes(5000, 99)));
    QVERIFY(QFile::remove(m_sSource + QStringLiteral("/readme.txt")));
    oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store")));
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));

    const QSet<QString> lSecondChunks = chunkUrls(*readBack(m_sOutput));
    const QSet<QString> lNew = QSet<QString>(lSecondChunks).subtract(lFirstChunks);
    // The changed chunk of the large file and the new file; the rest is shared.
    QCOMPARE(lNew.size(), 2);
    quint64 nNewBytes = 0;
    for (const QString& sPath : lNew)
        nNewBytes += quint64(QFileInfo(sPath).size());
    QVERIFY2(oRun.sOut.contains(QStringLiteral("New chunk files: 2, %1 bytes").arg(nNewBytes)), qPrintable(oRun.describe()));

    // Every chunk file of the first version is untouched: same bytes, same inode, same time.
    const QMap<QString, QString> hAfter = treeState(m_sOutput);
    for (auto oEntry = hBefore.constBegin(); oEntry != hBefore.constEnd(); ++oEntry) {
        if (oEntry.key().startsWith(QLatin1String("chunks/")))
            QVERIFY2(hAfter.value(oEntry.key()) == oEntry.value(), qPrintable(oEntry.key()));
    }
    for (auto oEntry = hAfter.constBegin(); oEntry != hAfter.constEnd(); ++oEntry) {
        if (!hBefore.contains(oEntry.key()))
            QVERIFY2(oEntry.value() == QLatin1String("folder") || lNew.contains(QDir(m_sOutput).filePath(oEntry.key())),
                     qPrintable(oEntry.key()));
    }
    QCOMPARE(unsoundness(m_sOutput), QString());
}

void TPublishVersionsTest::unchangedFilesAreNotReadAgain()
{
    makeClient(m_sSource, ESize::Small);
    QTRY_VERIFY(changesSettled(m_sSource));
    TToolRun oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("deflate")));
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Read 12 files")), qPrintable(oRun.describe()));
    const QMap<QString, QString> hFirst = treeState(m_sOutput);
    oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("deflate")));
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Read 0 files (0 bytes); 12 unchanged"))
                 && oRun.sOut.contains(QStringLiteral("New chunk files: 0, 0 bytes")),
             qPrintable(oRun.describe()));
    // Publishing the same again leaves every chunk file alone and the documents' bytes as they were.
    const QMap<QString, QString> hAgain = treeState(m_sOutput);
    QCOMPARE(hAgain.keys(), hFirst.keys());
    for (const QString& sKey : hFirst.keys()) {
        if (sKey.startsWith(QLatin1String("chunks/")))
            QCOMPARE(hAgain.value(sKey), hFirst.value(sKey));
        else if (!sKey.endsWith(QLatin1String(".cache")))
            QCOMPARE(hAgain.value(sKey).section(QLatin1Char(' '), -1), hFirst.value(sKey).section(QLatin1Char(' '), -1));
    }

    // Rewritten at once and at the same size, one with its modification time put
    // back: both are read again; the chunk file a prune took is packed again.
    const QString sLevel = m_sSource + QStringLiteral("/data/level.pak");
    struct stat oLevelBefore {};
    QVERIFY(::stat(QFile::encodeName(sLevel).constData(), &oLevelBefore) == 0);
    QByteArray aLevel = readTestFile(sLevel);
    aLevel[aLevel.size() - 1] = char(aLevel[aLevel.size() - 1] ^ 0x5A);
    QVERIFY(writeTestFile(sLevel, aLevel));
    const timespec aTimes[2] = {oLevelBefore.st_atim, oLevelBefore.st_mtim};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(sLevel).constData(), aTimes, 0) == 0);
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/docs/manual.txt"), "MANUAL\n"));
    const auto pBefore = readBack(m_sOutput);
    for (const TFileDescription& oFile : pBefore->files()) {
        if (oFile.localFile() == QLatin1String("bin/libgame.so"))
            QVERIFY(QFile::remove(pBefore->url(oFile.packedForm()).toLocalFile()));
    }
    oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("deflate")));
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Read 4 files")), qPrintable(oRun.describe()));

    // The same documents as a build that reads everything, with another number of jobs.
    const QString sFresh = m_pDir->filePath(QStringLiteral("fresh"));
    QStringList lFresh = buildArguments(m_sSource, sFresh, QStringLiteral("deflate"));
    lFresh.last() = QStringLiteral("5");
    QVERIFY(runPublish(lFresh).nExitCode == 0);
    for (const QString& sDocument : {QStringLiteral("/package.json"), QStringLiteral("/assets.json")})
        QCOMPARE(readTestFile(m_sOutput + sDocument), readTestFile(sFresh + sDocument));
    QCOMPARE(unsoundness(m_sOutput), QString());
}

// A later version without assets, published over a damaged chunk file.
void TPublishVersionsTest::damagedChunkFileIsReplacedAndAssetDocumentGoes()
{
    makeClient(m_sSource, ESize::Small);
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("lzma"))).nExitCode == 0);
    QVERIFY(QFileInfo::exists(m_sOutput + QStringLiteral("/assets.json")));
    const auto pFirst = readBack(m_sOutput);
    const QString sVictim = pFirst->url(pFirst->chunks().front()).toLocalFile();
    QVERIFY(QFile::resize(sVictim, QFileInfo(sVictim).size() / 2));
    QVERIFY(!unsoundness(m_sOutput).isEmpty());

    const TToolRun oRun = runPublish({QStringLiteral("build"), QStringLiteral("--source"), m_sSource, QStringLiteral("--out"),
                                      m_sOutput, QStringLiteral("--version"), QStringLiteral("3"),
                                      QStringLiteral("--executable"), QStringLiteral("bin/client"),
                                      QStringLiteral("--method"), QStringLiteral("lzma")});
    QVERIFY2(oRun.nExitCode == 0 && oRun.sOut.contains(QStringLiteral("Replaced 1 damaged chunk files")),
             qPrintable(oRun.describe()));
    QVERIFY(!QFileInfo::exists(m_sOutput + QStringLiteral("/assets.json")));
    const auto pReader = readBack(m_sOutput);
    QCOMPARE(pReader->version(), QStringLiteral("3"));
    QVERIFY(pReader->assetVersion().isEmpty());
    QCOMPARE(unsoundness(m_sOutput), QString());
}

void TPublishVersionsTest::documentsAreReplacedBackToBack()
{
    // A reader between the two renames may meet a mismatched pair: nothing but
    // the renames may happen there, and the package document, which the launcher
    // asks for first, goes first.
    makeClient(m_sSource, ESize::Tiny);
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store"))).nExitCode == 0);
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/assets/new.dat"), "new"));

    const int nWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(nWatch >= 0);
    QVERIFY(inotify_add_watch(nWatch, QFile::encodeName(m_sOutput).constData(), IN_ALL_EVENTS) >= 0);
    const TToolRun oRun = runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("store")));
    QStringList lEvents;
    alignas(inotify_event) char aBuffer[1 << 16];
    for (ssize_t nRead; (nRead = ::read(nWatch, aBuffer, sizeof aBuffer)) > 0;) {
        for (char* pAt = aBuffer; pAt < aBuffer + nRead;) {
            const auto* pEvent = reinterpret_cast<const inotify_event*>(pAt);
            const QString sName = QString::fromUtf8(pEvent->len ? pEvent->name : "");
            if (pEvent->mask & IN_MOVED_TO)
                lEvents << QStringLiteral("renamed to ") + sName;
            else if (pEvent->mask & (IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE))
                lEvents << QStringLiteral("wrote ") + sName;
            pAt += sizeof(inotify_event) + pEvent->len;
        }
    }
    ::close(nWatch);
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    const int nFirst = lEvents.indexOf(QStringLiteral("renamed to package.json"));
    QVERIFY2(nFirst >= 0 && lEvents.value(nFirst + 1) == QLatin1String("renamed to assets.json"),
             qPrintable(lEvents.join(QLatin1Char('\n'))));
}

void TPublishVersionsTest::pruneAndDiffBetweenVersions()
{
    makeClient(m_sSource, ESize::Small);
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("deflate"))).nExitCode == 0);
    const QSet<QString> lFirstChunks = chunkUrls(*readBack(m_sOutput));
    const QString sOldPackage = m_pDir->filePath(QStringLiteral("old-package.json"));
    const QString sOldAssets = m_pDir->filePath(QStringLiteral("old-assets.json"));
    QVERIFY(QFile::copy(m_sOutput + QStringLiteral("/package.json"), sOldPackage));
    QVERIFY(QFile::copy(m_sOutput + QStringLiteral("/assets.json"), sOldAssets));

    // One byte changed in the last chunk of a file of two, a file added, one removed.
    QByteArray aLevel = readTestFile(m_sSource + QStringLiteral("/data/level.pak"));
    aLevel[aLevel.size() - 100] = char(aLevel[aLevel.size() - 100] ^ 0x5A);
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/data/level.pak"), aLevel));
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/data/new.bin"), noiseBytes(5000, 99)));
    QVERIFY(QFile::remove(m_sSource + QStringLiteral("/docs/manual.txt")));
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput, QStringLiteral("deflate"))).nExitCode == 0);
    const QSet<QString> lSecondChunks = chunkUrls(*readBack(m_sOutput));
    const QSet<QString> lNew = QSet<QString>(lSecondChunks).subtract(lFirstChunks);
    const QSet<QString> lGone = QSet<QString>(lFirstChunks).subtract(lSecondChunks);
    QCOMPARE(lNew.size(), 2);
    QCOMPARE(lGone.size(), 2);

    // From the old version the changed chunk and the new file are fetched, nothing else.
    quint64 nNewBytes = 0;
    for (const QString& sPath : lNew)
        nNewBytes += quint64(QFileInfo(sPath).size());
    const TToolRun oDiff = runPublish({QStringLiteral("diff"), sOldPackage, m_sOutput + QStringLiteral("/package.json"),
                                       QStringLiteral("--old-assets"), sOldAssets, QStringLiteral("--new-assets"),
                                       m_sOutput + QStringLiteral("/assets.json")});
    QVERIFY2(oDiff.nExitCode == 0 && oDiff.sOut.contains(QStringLiteral("Fetched: 2 downloads, %1 bytes").arg(nNewBytes)),
             qPrintable(oDiff.describe()));

    // What the old version alone needs stays while its documents are kept.
    const QMap<QString, QString> hBefore = treeState(m_sOutput);
    TToolRun oPrune = runPublish({QStringLiteral("prune"), m_sOutput, QStringLiteral("--keep"), sOldPackage,
                                  QStringLiteral("--keep"), sOldAssets});
    QVERIFY2(oPrune.nExitCode == 0 && oPrune.sOut.contains(QStringLiteral("Deleted 0 chunk files")), qPrintable(oPrune.describe()));
    oPrune = runPublish({QStringLiteral("prune"), m_sOutput, QStringLiteral("--dry-run")});
    QVERIFY2(oPrune.nExitCode == 0, qPrintable(oPrune.describe()));
    for (const QString& sPath : lGone)
        QVERIFY2(oPrune.sOut.contains(QStringLiteral("would delete ") + QDir(m_sOutput).relativeFilePath(sPath)), qPrintable(oPrune.describe()));
    QVERIFY2(oPrune.sOut.contains(QStringLiteral("Would delete 2 chunk files")), qPrintable(oPrune.describe()));
    QCOMPARE(treeState(m_sOutput), hBefore);

    oPrune = runPublish({QStringLiteral("prune"), m_sOutput});
    QVERIFY2(oPrune.nExitCode == 0 && oPrune.sOut.contains(QStringLiteral("Deleted 2 chunk files")), qPrintable(oPrune.describe()));
    for (const QString& sPath : lGone)
        QVERIFY2(!QFileInfo::exists(sPath), qPrintable(sPath));
    QCOMPARE(unsoundness(m_sOutput), QString());
}

QTEST_GUILESS_MAIN(TPublishVersionsTest)
#include "tst_publishversions.moc"
