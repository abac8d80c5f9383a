// The rule by which the launcher's package button tells what a download or an
// update fetches and the room it takes: the figures of corvane-publish diff for
// the same documents, and the room the files themselves show.

#include "installbed.h"
#include "noisebytes.h"

#include "launcher/documents/updatesize.h"

#include <QRegularExpression>
#include <QtTest>

using namespace velmar::launcher;

class tst_UpdateSize : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameFiguresAsPublishDiff_data();
    void sameFiguresAsPublishDiff();

private:
    // The client's bytes in the second version, added up from the source folder.
    qint64 m_nSecondBytes = 0;
    TInstallBed m_oBed;
};

namespace {

qint64 bytesBelow(const QString& sFolder)
{
    qint64 nBytes = 0;
    QDirIterator oIterator(sFolder, QDir::Files, QDirIterator::Subdirectories);
    while (oIterator.hasNext()) {
        oIterator.next();
        nBytes += oIterator.fileInfo().size();
    }
    return nBytes;
}

// Keeps the published documents of the version in sFolder.
bool keepDocuments(const QString& sCdn, const QString& sFolder)
{
    QDir().mkpath(sFolder);
    return QFile::copy(sCdn + QStringLiteral("/package.json"), sFolder + QStringLiteral("/package.json"))
           && QFile::copy(sCdn + QStringLiteral("/assets.json"), sFolder + QStringLiteral("/assets.json"));
}

} // namespace

void tst_UpdateSize::initTestCase()
{
    // Two versions: a map of several chunks that grows by 1 MiB at its end
    // (its first chunks stay), a small file that changes, one that goes and one
    // that comes.
    m_oBed.writeSource(QStringLiteral("bin/client"), "#!/bin/sh\n", true);
    const QByteArray aMap = noiseBytes(40 << 20, 5);
    m_oBed.writeSource(QStringLiteral("data/maps/world.pak"), aMap);
    m_oBed.writeSource(QStringLiteral("data/small.txt"), "small\n");
    m_oBed.writeSource(QStringLiteral("data/gone.txt"), noiseBytes(300000, 6));
    QVERIFY(m_oBed.publish(QStringLiteral("1"), QStringLiteral("deflate")).nExitCode == 0);
    const QString sCdn = m_oBed.cdn() + QStringLiteral("/live");
    QVERIFY(keepDocuments(sCdn, m_oBed.path(QStringLiteral("first"))));

    m_oBed.writeSource(QStringLiteral("data/maps/world.pak"), aMap + noiseBytes(1 << 20, 7));
    m_oBed.writeSource(QStringLiteral("data/small.txt"), "small, and longer now\n");
    QVERIFY(QFile::remove(m_oBed.source() + QStringLiteral("/data/gone.txt")));
    m_oBed.writeSource(QStringLiteral("data/new.bin"), noiseBytes(200000, 8));
    QVERIFY(m_oBed.publish(QStringLiteral("2"), QStringLiteral("deflate")).nExitCode == 0);
    m_nSecondBytes = bytesBelow(m_oBed.source());
    QVERIFY(keepDocuments(sCdn, m_oBed.path(QStringLiteral("second"))));

    // Nothing installed: a package of no files.
    for (const char* pDocument : {"/package.json", "/assets.json"})
        QVERIFY(writeTestFile(m_oBed.path(QStringLiteral("nothing")) + QLatin1String(pDocument), "{\"files\": []}"));
}

void tst_UpdateSize::sameFiguresAsPublishDiff_data()
{
    QTest::addColumn<QString>("sFrom");
    QTest::addColumn<QString>("sTo");
    QTest::addColumn<qint64>("nRoom"); // -1: the whole client
    QTest::newRow("fresh install") << QStringLiteral("nothing") << QStringLiteral("second") << qint64(-1);
    // 1 MiB more map, 16 bytes more text, the new file, less the file gone.
    QTest::newRow("update") << QStringLiteral("first") << QStringLiteral("second") << qint64((1 << 20) + 16 + 200000 - 300000);
    // The way back: shrunk files need nothing, the file that returns less the one that goes.
    QTest::newRow("back to the first") << QStringLiteral("second") << QStringLiteral("first") << qint64(300000 - 200000);
    QTest::newRow("unchanged") << QStringLiteral("second") << QStringLiteral("second") << qint64(0);
}

void tst_UpdateSize::sameFiguresAsPublishDiff()
{
    QFETCH(QString, sFrom);
    QFETCH(QString, sTo);
    QFETCH(qint64, nRoom);
    const QString sOld = m_oBed.path(sFrom);
    const QString sNew = m_oBed.path(sTo);
    const TToolRun oDiff = runPublish({QStringLiteral("diff"), sOld + QStringLiteral("/package.json"),
                                       sNew + QStringLiteral("/package.json"), QStringLiteral("--old-assets"),
                                       sOld + QStringLiteral("/assets.json"), QStringLiteral("--new-assets"),
                                       sNew + QStringLiteral("/assets.json")});
    QVERIFY2(oDiff.nExitCode == 0, qPrintable(oDiff.describe()));
    const QRegularExpressionMatch oFetched
        = QRegularExpression(QStringLiteral("Fetched: (\\d+) downloads, (\\d+) bytes")).match(oDiff.sOut);
    const QRegularExpressionMatch oRoom = QRegularExpression(QStringLiteral("Room: (\\d+) bytes more")).match(oDiff.sOut);
    QVERIFY2(oFetched.hasMatch() && oRoom.hasMatch(), qPrintable(oDiff.describe()));

    const TUpdateSize oSize = updateSize(*readPublished(sOld), *readPublished(sNew));
    QCOMPARE(oSize.downloads(), oFetched.captured(1).toInt());
    QCOMPARE(oSize.fetchedBytes(), oFetched.captured(2).toULongLong());
    QCOMPARE(oSize.m_nRoomBytes, oRoom.captured(1).toULongLong());
    // The room the files themselves show.
    QCOMPARE(oSize.m_nRoomBytes, shared::TFileSize(nRoom < 0 ? m_nSecondBytes : nRoom));
    QCOMPARE(oSize.downloads() > 0, sFrom != sTo);
}

QTEST_GUILESS_MAIN(tst_UpdateSize)
#include "tst_updatesize.moc"
