#include "publishtool.h"

#include "launcher/contentchunker.h"

#include <QTemporaryDir>
#include <QtTest>

class TPublishChunksTest : public QObject
{
    Q_OBJECT

private slots:
    void listsChunksInFileOrder_data();
    void listsChunksInFileOrder();
    void failures();
};

void TPublishChunksTest::listsChunksInFileOrder_data()
{
    QTest::addColumn<QByteArray>("aContent");
    QTest::addColumn<QStringList>("lLengths");

    QTest::newRow("empty file: no chunks") << QByteArray() << QStringList();
    QTest::newRow("20 MiB without a boundary: 16 MiB + 4 MiB")
        << QByteArray(20 << 20, '\0') << QStringList{QStringLiteral("16777216"), QStringLiteral("4194304")};
    // The same noise as the chunker's own golden test begins with.
    QTest::newRow("noise with boundaries")
        << noiseBytes(24 << 20, 20240611).left(20 << 20)
        << QStringList{QStringLiteral("5848632"), QStringLiteral("6839230"), QStringLiteral("4362369"),
                       QStringLiteral("3921289")};
}

void TPublishChunksTest::listsChunksInFileOrder()
{
    QFETCH(QByteArray, aContent);
    QFETCH(QStringList, lLengths);

    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("file.bin"));
    QVERIFY(writeTestFile(sPath, aContent));
    const TToolRun oRun = runPublish({QStringLiteral("chunks"), sPath});
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));

    QStringList lExpected;
    qint64 nOffset = 0;
    for (const QString& sLength : lLengths) {
        const int nLength = sLength.toInt();
        lExpected << QStringLiteral("%1 %2 %3")
                         .arg(nOffset)
                         .arg(nLength)
                         .arg(QString::fromLatin1(shared::TSha256::hash(aContent.mid(int(nOffset), nLength)).toHex()));
        nOffset += nLength;
    }
    QCOMPARE(oRun.sOut, lExpected.isEmpty() ? QString() : lExpected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void TPublishChunksTest::failures()
{
    QTemporaryDir oDir;
    const TToolRun oMissing = runPublish({QStringLiteral("chunks"), oDir.filePath(QStringLiteral("absent"))});
    QCOMPARE(oMissing.nExitCode, 1);
    QVERIFY2(oMissing.sErr.contains(QStringLiteral("Cannot read")), qPrintable(oMissing.describe()));
    QVERIFY(oMissing.sOut.isEmpty());

    QCOMPARE(runPublish({QStringLiteral("chunks")}).nExitCode, 2);
    QCOMPARE(runPublish({QStringLiteral("chunks"), QStringLiteral("a"), QStringLiteral("b")}).nExitCode, 2);
    const TToolRun oHelp = runPublish({QStringLiteral("chunks"), QStringLiteral("--help")});
    QCOMPARE(oHelp.nExitCode, 0);
    QVERIFY(oHelp.sOut.contains(QStringLiteral("OFFSET LENGTH SHA256")));
}

QTEST_GUILESS_MAIN(TPublishChunksTest)
#include "tst_publishchunks.moc"
