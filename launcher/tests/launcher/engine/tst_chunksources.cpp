// Where a chunk may be fetched from: its own address, and for an address its
// document gave relative to itself, the same path below each mirror; and the
// order in which the sources are tried as they fail.

#include "launcher/documents/packageconfigurationreader.h"
#include "launcher/engine/chunkrecord.h"
#include "launcher/engine/chunksources.h"

#include <QtTest>

using namespace velmar::launcher;

namespace {

const QUrl kMirror(QStringLiteral("https://m.invalid/copy/"));
const QUrl kSecondMirror(QStringLiteral("https://m2.invalid/"));

QByteArray documentWithChunk(const QString& sAddress)
{
    const QString sHash(64, QLatin1Char('a'));
    return QStringLiteral(R"({"chunks": [{"url": "%1", "packedsize": 4, "packedhash": "%2", "unpackedsize": 4,
                             "unpackedhash": "%2"}], "files": []})")
        .arg(sAddress, sHash)
        .toUtf8();
}

// The sources in the order they are tried, each one failing.
QList<int> triedOrder(const TChunkSources& oSources, const TChunkRecord& oRecord)
{
    QList<int> lTried;
    quint32 nTried = 0;
    for (int nSource = oSources.next(oRecord, nTried); nSource >= 0; nSource = oSources.next(oRecord, nTried)) {
        nTried |= 1u << nSource;
        lTried << nSource;
    }
    return lTried;
}

} // namespace

class tst_ChunkSources : public QObject
{
    Q_OBJECT

private slots:
    void addressesOnMirrors_data();
    void addressesOnMirrors();
    void failingSourcesGoLast_data();
    void failingSourcesGoLast();
};

void tst_ChunkSources::addressesOnMirrors_data()
{
    QTest::addColumn<QString>("sAssetBase"); // empty: the chunk is listed by the package document
    QTest::addColumn<QString>("sAddress");
    QTest::addColumn<QStringList>("lExpected"); // every source in order
    const auto mirrored = [](const QString& sPath) {
        return QStringList{"http://cdn.invalid/live/" + sPath, "https://m.invalid/copy/" + sPath, "https://m2.invalid/" + sPath};
    };
    const QString sOwn = QStringLiteral("http://cdn.invalid/live/chunks/ab/x.store");
    QTest::newRow("relative") << QString() << "chunks/ab/x.store" << mirrored(QStringLiteral("chunks/ab/x.store"));
    QTest::newRow("query dropped everywhere")
        << QString() << "chunks/ab/x.store?v=2" << mirrored(QStringLiteral("chunks/ab/x.store"));
    QTest::newRow("encoded characters stay encoded")
        << QString() << "chunks/a%20b%3Fc%23d.store" << mirrored(QStringLiteral("chunks/a%20b%3Fc%23d.store"));
    QTest::newRow("absolute, into the same folder") << QString() << sOwn << QStringList{sOwn};
    QTest::newRow("absolute, elsewhere") << QString() << "https://other.invalid/x.store"
                                         << QStringList{QStringLiteral("https://other.invalid/x.store")};
    QTest::newRow("asset document in a folder below")
        << "http://cdn.invalid/live/data/" << "c/x.store" << mirrored(QStringLiteral("data/c/x.store"));
    QTest::newRow("asset document in another folder")
        << "http://cdn.invalid/other/" << "c/x.store" << QStringList{QStringLiteral("http://cdn.invalid/other/c/x.store")};
    QTest::newRow("asset document on another server")
        << "http://cdn2.invalid/live/" << "c/x.store" << QStringList{QStringLiteral("http://cdn2.invalid/live/c/x.store")};
    QTest::newRow("asset document on another port")
        << "http://cdn.invalid:8080/live/" << "c/x.store" << QStringList{QStringLiteral("http://cdn.invalid:8080/live/c/x.store")};
}

void tst_ChunkSources::addressesOnMirrors()
{
    QFETCH(QString, sAssetBase);
    QFETCH(QString, sAddress);
    QFETCH(QStringList, lExpected);
    const QUrl oPackageBase(QStringLiteral("http://cdn.invalid/live/"));
    const bool bFromAssets = !sAssetBase.isEmpty();
    const QByteArray aDocument = documentWithChunk(sAddress);
    const TPackageConfigurationReader oReader(bFromAssets ? QByteArray(R"({"files": []})") : aDocument,
                                              bFromAssets ? aDocument : QByteArray(), oPackageBase,
                                              bFromAssets ? QUrl(sAssetBase) : oPackageBase);
    QCOMPARE(oReader.chunks().size(), size_t(1));
    const TChunkRecord oRecord(oReader, oReader.chunks().front());
    TChunkSources oSources;
    oSources.setMirrors({kMirror, kSecondMirror});
    QStringList lAddresses;
    for (const int nSource : triedOrder(oSources, oRecord))
        lAddresses << QString::fromUtf8(oSources.address(oRecord, nSource).toEncoded());
    QCOMPARE(lAddresses, lExpected);
}

void tst_ChunkSources::failingSourcesGoLast_data()
{
    QTest::addColumn<QString>("sEvents"); // "f1" a failure of source 1, "s1" a success
    QTest::addColumn<QList<int>>("lOrder");
    QTest::newRow("one failure keeps the order") << "f0" << QList<int>{0, 1, 2};
    QTest::newRow("two in a row: last") << "f0 f0" << QList<int>{1, 2, 0};
    QTest::newRow("a success between resets the count") << "f0 s0 f0" << QList<int>{0, 1, 2};
    QTest::newRow("last for the rest of the run") << "f0 f0 s0 s0" << QList<int>{1, 2, 0};
    QTest::newRow("two sources last, in their order") << "f1 f1 f0 f0" << QList<int>{2, 0, 1};
    QTest::newRow("every source last: the given order") << "f2 f2 f1 f1 f0 f0" << QList<int>{0, 1, 2};
}

void tst_ChunkSources::failingSourcesGoLast()
{
    QFETCH(QString, sEvents);
    QFETCH(QList<int>, lOrder);
    const QUrl oBase(QStringLiteral("http://cdn.invalid/live/"));
    const TPackageConfigurationReader oReader(documentWithChunk(QStringLiteral("chunks/x.store")), QByteArray(), oBase, oBase);
    const TChunkRecord oRecord(oReader, oReader.chunks().front());
    TChunkSources oSources;
    oSources.setMirrors({kMirror, kSecondMirror});
    for (const QString& sEvent : sEvents.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int nSource = sEvent.mid(1).toInt();
        if (sEvent.startsWith(QLatin1Char('f')))
            oSources.noteFailure(nSource);
        else
            oSources.noteSuccess(nSource);
    }
    QCOMPARE(triedOrder(oSources, oRecord), lOrder);
}

QTEST_GUILESS_MAIN(tst_ChunkSources)
#include "tst_chunksources.moc"
