// Chunk transfers that break off go on from the bytes received, within a run
// (a Range request on the retry) and across runs (the bytes kept in the package
// folder's .corvane-partial/), through corvane-install against the fault server.

#include "installbed.h"
#include "testhttpserver.h"

#include "shared/sha256.h"

#include <QDirIterator>

Q_DECLARE_METATYPE(EHttpFault)

namespace {

const QString kChunkPrefix = QStringLiteral("live/chunks/");

// A client whose files are one chunk or several, published stored (so that
// half of a chunk file is half of its bytes) and served by oServer.
bool publishAndServe(TInstallBed& oBed, TTestHttpServer& oServer)
{
    oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\necho running\n", true);
    oBed.writeSource(QStringLiteral("data/world.pak"), noiseBytes(9 << 20, 2));
    oBed.writeSource(QStringLiteral("data/notes.txt"), noiseBytes(300000, 3));
    if (oBed.publish(QStringLiteral("1"), QStringLiteral("store")).nExitCode != 0 || !oServer.start(oBed.cdn()))
        return false;
    oBed.serveFrom(oServer.url(QString()));
    return true;
}

// Every chunk file of the CDN folder: its path as served → its bytes.
QMap<QString, QByteArray> chunkFiles(const TInstallBed& oBed)
{
    QMap<QString, QByteArray> hChunks;
    QDirIterator oIterator(oBed.cdn() + QLatin1Char('/') + kChunkPrefix, QDir::Files, QDirIterator::Subdirectories);
    while (oIterator.hasNext()) {
        const QString sPath = oIterator.next();
        hChunks.insert(QDir(oBed.cdn()).relativeFilePath(sPath), readTestFile(sPath));
    }
    return hChunks;
}

// Where the folder keeps the first bytes of a packed chunk.
QString keptFile(const TInstallBed& oBed, const QByteArray& aPacked)
{
    return oBed.folder() + QStringLiteral("/.corvane-partial/") + QString::fromLatin1(shared::TSha256::hash(aPacked).toHex());
}

// The Range header of each request for sPath from request nFrom on, "-" for none.
QStringList rangesAsked(const TTestHttpServer& oServer, const QString& sPath, int nFrom = 0)
{
    QStringList lRanges;
    for (const TRecordedHttpRequest& oRequest : oServer.requests().mid(nFrom)) {
        if (oRequest.path() == sPath)
            lRanges << (oRequest.header("Range").isEmpty() ? QStringLiteral("-") : QString::fromLatin1(oRequest.header("Range")));
    }
    return lRanges;
}

// sPattern with "H" standing for a range from the half of aPacked on.
QStringList expectedRanges(const QString& sPattern, const QByteArray& aPacked)
{
    QStringList lRanges = sPattern.split(QLatin1Char(' '));
    lRanges.replaceInStrings(QStringLiteral("H"), QStringLiteral("bytes=%1-").arg(aPacked.size() / 2));
    return lRanges;
}

} // namespace

class tst_KeptChunks : public QObject
{
    Q_OBJECT

private slots:
    void brokenOffChunkGoesOn_data();
    void brokenOffChunkGoesOn();
    void stoppedRunKeepsWhatArrivedForTheNext();
};

void tst_KeptChunks::brokenOffChunkGoesOn_data()
{
    QTest::addColumn<QList<EHttpFault>>("lFaults"); // what each request of a chunk gets in turn
    QTest::addColumn<QString>("sLimit");            // --limit-rate
    QTest::addColumn<QString>("sKept");             // what an earlier run left in .corvane-partial/ for each chunk
    QTest::addColumn<QString>("sAsked");            // per chunk, each request's Range: "-" none, "H" from the half
    const QList<EHttpFault> lNone;
    // Half of each chunk, then silence until the transfer is given up.
    QTest::newRow("stalled") << QList<EHttpFault>{EHttpFault::Stall} << QString() << QString() << "- H";
    QTest::newRow("stalled, limited") << QList<EHttpFault>{EHttpFault::Stall} << "20M" << QString() << "- H";
    // The server sends the whole chunk after all, or another range, or none.
    QTest::newRow("range ignored") << QList<EHttpFault>{EHttpFault::Stall, EHttpFault::IgnoreRange} << QString() << QString() << "- H";
    QTest::newRow("206 from elsewhere") << QList<EHttpFault>{EHttpFault::Stall, EHttpFault::WrongRange} << QString() << QString() << "- H -";
    QTest::newRow("416") << QList<EHttpFault>{EHttpFault::Stall, EHttpFault::RangeNotSatisfiable} << QString() << QString() << "- H -";
    // Closed or reset after half: the network layer may ask again itself (with
    // the same range, or before any byte arrived), so only the ranges are known.
    QTest::newRow("cut") << QList<EHttpFault>{EHttpFault::Truncate} << QString() << QString() << QString();
    QTest::newRow("reset") << QList<EHttpFault>{EHttpFault::ResetMidway} << QString() << QString() << QString();
    QTest::newRow("kept: the first half") << lNone << QString() << "half" << "H";
    // Joined, the chunk fails its hash: fetched whole, never from the bad bytes again.
    QTest::newRow("kept: a damaged first half") << lNone << QString() << "damaged" << "H -";
    QTest::newRow("kept: as long as the chunk") << lNone << QString() << "whole" << "-";
    QTest::newRow("kept: longer than the chunk") << lNone << QString() << "longer" << "-";
    QTest::newRow("kept: a link to the first half") << lNone << QString() << "link" << "-";
    QTest::newRow("kept: a folder") << lNone << QString() << "folder" << "-";
}

void tst_KeptChunks::brokenOffChunkGoesOn()
{
    QFETCH(QList<EHttpFault>, lFaults);
    QFETCH(QString, sLimit);
    QFETCH(QString, sKept);
    QFETCH(QString, sAsked);
    TInstallBed oBed;
    TTestHttpServer oServer;
    QVERIFY(publishAndServe(oBed, oServer));
    oServer.setFaultsForPrefix(kChunkPrefix, lFaults);
    QStringList lExtra = oBed.quickStallSettings();
    QVERIFY(!lExtra.isEmpty());
    if (!sLimit.isEmpty())
        lExtra << QStringLiteral("--limit-rate") << sLimit;
    const QMap<QString, QByteArray> hChunks = chunkFiles(oBed);
    QVERIFY(hChunks.size() >= 3);
    QMap<QString, QByteArray> hOutside;
    for (const QByteArray& aPacked : sKept.isEmpty() ? QMap<QString, QByteArray>() : hChunks) {
        const QString sKeptFile = keptFile(oBed, aPacked);
        QByteArray aBytes = sKept == QLatin1String("whole") ? aPacked : aPacked.left(aPacked.size() / 2);
        if (sKept == QLatin1String("damaged"))
            aBytes[aBytes.size() / 2] = char(~aBytes.at(aBytes.size() / 2));
        else if (sKept == QLatin1String("longer"))
            aBytes = aPacked + "x";
        if (sKept == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(sKeptFile + QStringLiteral("/inside")));
        } else if (sKept == QLatin1String("link")) {
            const QString sOutside = oBed.path(QStringLiteral("outside/%1").arg(hOutside.size()));
            hOutside.insert(sOutside, aBytes);
            QVERIFY(writeTestFile(sOutside, aBytes) && QDir().mkpath(QFileInfo(sKeptFile).path()));
            QVERIFY(QFile::link(sOutside, sKeptFile));
        } else {
            QVERIFY(writeTestFile(sKeptFile, aBytes));
        }
    }
    // Bytes of a chunk this version does not have.
    if (!sKept.isEmpty())
        QVERIFY(writeTestFile(oBed.folder() + QStringLiteral("/.corvane-partial/") + QString(64, QLatin1Char('0')), "stale"));

    CORVANE_VERIFY_EXIT(oBed.install(QStringLiteral("install"), QString(), lExtra), 0);
    QVERIFY(oBed.installedAsPublished());
    QVERIFY(!QFileInfo::exists(oBed.folder() + QStringLiteral("/.corvane-partial")));
    for (auto it = hChunks.cbegin(); it != hChunks.cend(); ++it) {
        const QStringList lAsked = rangesAsked(oServer, it.key());
        const QStringList lExpected = expectedRanges(sAsked.isEmpty() ? QStringLiteral("- H") : sAsked, it.value());
        if (!sAsked.isEmpty())
            QCOMPARE(lAsked, lExpected);
        for (const QString& sRange : lAsked)
            QVERIFY2(lExpected.contains(sRange), qPrintable(lAsked.join(QLatin1Char(' '))));
    }
    for (auto it = hOutside.cbegin(); it != hOutside.cend(); ++it)
        QCOMPARE(readTestFile(it.key()), it.value());
}

// SIGTERM while every chunk has half arrived: the halves stay in the folder, the
// next run asks for the rest of each only and counts the halves as downloaded.
void tst_KeptChunks::stoppedRunKeepsWhatArrivedForTheNext()
{
    TInstallBed oBed;
    TTestHttpServer oServer;
    QVERIFY(publishAndServe(oBed, oServer));
    oServer.setFaultForPrefix(kChunkPrefix, EHttpFault::Stall);
    const QMap<QString, QByteArray> hChunks = chunkFiles(oBed);
    double fHalves = 0;
    for (const QByteArray& aPacked : hChunks)
        fHalves += double(aPacked.size() / 2);

    // The sync point: a progress line counting every half.
    const TToolRun oStopped = oBed.stopAtProgress(QStringLiteral("install"), SIGTERM, [&](const QJsonObject& oLine) {
        return oLine.value(QStringLiteral("bytesDone")).toDouble() >= fHalves;
    });
    QVERIFY2(!oStopped.bKilled && oStopped.nExitCode == 128 + SIGTERM, qPrintable(oStopped.describe()));
    for (const QByteArray& aPacked : hChunks)
        QCOMPARE(readTestFile(keptFile(oBed, aPacked)), aPacked.left(aPacked.size() / 2));

    oServer.setFaultsForPrefix(kChunkPrefix, {});
    const int nRequestsBefore = oServer.requests().size();
    const TToolRun oRun = oBed.install(QStringLiteral("install"), QString(), {QStringLiteral("--progress"), QStringLiteral("json")});
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    QVERIFY(oBed.installedAsPublished());
    QVERIFY(!QFileInfo::exists(oBed.folder() + QStringLiteral("/.corvane-partial")));
    for (auto it = hChunks.cbegin(); it != hChunks.cend(); ++it)
        QCOMPARE(rangesAsked(oServer, it.key(), nRequestsBefore), expectedRanges(QStringLiteral("H"), it.value()));
    // The first progress line already counts the halves.
    QVERIFY2(downloadLines(oRun.sOut.toUtf8()).value(0).value(QStringLiteral("bytesDone")).toDouble() >= fHalves, qPrintable(oRun.sOut));
}

QTEST_GUILESS_MAIN(tst_KeptChunks)

#include "tst_keptchunks.moc"
