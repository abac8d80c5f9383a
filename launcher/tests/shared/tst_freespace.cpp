// The free space a package folder's file system leaves, asked of the nearest
// folder that exists. /proc leaves no room at all, which tells it apart from
// the root file system above it.

#include "shared/freespace.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_FreeSpace : public QObject
{
    Q_OBJECT

private slots:
    void nearestExistingFolderAnswers_data();
    void nearestExistingFolderAnswers();
};

void tst_FreeSpace::nearestExistingFolderAnswers_data()
{
    QTest::addColumn<QString>("sPath");
    // -1: some figure, whichever the disk has now.
    QTest::addColumn<qint64>("nFree");
    QTest::newRow("an existing folder") << QStringLiteral("/proc") << qint64(0);
    QTest::newRow("a folder not made yet") << QStringLiteral("/proc/no-such-folder/packages/live") << qint64(0);
    QTest::newRow("below a file") << QStringLiteral("/proc/self/status/live") << qint64(0);
    QTest::newRow("a temporary folder") << QStringLiteral("@tmp@/packages/live") << qint64(-1);
    QTest::newRow("relative") << QStringLiteral("no-such-folder/live") << qint64(-1);
}

void tst_FreeSpace::nearestExistingFolderAnswers()
{
    QFETCH(QString, sPath);
    QFETCH(qint64, nFree);
    QTemporaryDir oTemporary;
    const std::optional<shared::TFileSize> oFree = shared::freeSpaceAt(sPath.replace(QStringLiteral("@tmp@"), oTemporary.path()));
    QVERIFY(oFree.has_value());
    if (nFree >= 0)
        QCOMPARE(*oFree, shared::TFileSize(nFree));
}

QTEST_APPLESS_MAIN(tst_FreeSpace)
#include "tst_freespace.moc"
