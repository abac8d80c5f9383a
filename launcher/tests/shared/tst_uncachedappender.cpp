// A new file appended past the page cache holds every byte appended so far
// after each append, whatever the pieces' sizes against the block and the
// buffer, on a file system that takes such writes and on one that refuses them
// (ramfs, mounted when the test may).

#include "shared/checkedfile.h"
#include "shared/confinedfolder.h"
#include "shared/uncachedappender.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

class tst_UncachedAppender : public QObject
{
    Q_OBJECT

private slots:
    void fileHoldsEveryByteAppended_data();
    void fileHoldsEveryByteAppended();
};

Q_DECLARE_METATYPE(std::vector<int>)

void tst_UncachedAppender::fileHoldsEveryByteAppended_data()
{
    QTest::addColumn<bool>("bRefusingFileSystem");
    QTest::addColumn<std::vector<int>>("lPieces");
    const std::vector<std::pair<const char*, std::vector<int>>> lCases{
        {"pieces within a block", {1, 100, 3000, 995}},
        {"pieces across blocks", {4095, 2, 8191, 5000, 1}},
        {"whole blocks", {4096, 8192, 4096}},
        {"pieces beyond the buffer", {(3 << 20) + 17, 5, (1 << 20) - 22, 4096 * 300 + 1}},
        {"a block then single bytes", {4096, 1, 1, 1, 4093, 1}},
    };
    for (const bool bRefusing : {false, true}) {
        for (const auto& [pName, lPieces] : lCases)
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(bRefusing ? "ramfs" : "temporary folder", pName)))
                << bRefusing << lPieces;
    }
}

void tst_UncachedAppender::fileHoldsEveryByteAppended()
{
    QFETCH(bool, bRefusingFileSystem);
    QFETCH(std::vector<int>, lPieces);
    QTemporaryDir oTemporary;
    QString sFolder = oTemporary.path();
    bool bMounted = false;
    const auto oUnmount = qScopeGuard([&] {
        if (bMounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("--lazy"), sFolder});
    });
    if (bRefusingFileSystem) {
        sFolder += QStringLiteral("/ramfs");
        bMounted = QDir().mkpath(sFolder)
                   && QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("ramfs"),
                                                                  QStringLiteral("ramfs"), sFolder})
                          == 0;
        if (!bMounted)
            QSKIP("a ramfs cannot be mounted here (it needs root)");
    }
    shared::TConfinedFolder oFolder(sFolder);
    shared::TCheckedFile oFile;
    QVERIFY2(oFile.open(oFolder, QStringLiteral("big.pak"), QIODevice::ReadWrite | QIODevice::NewOnly),
             qPrintable(oFile.errorString()));

    shared::TUncachedAppender oAppender;
    QByteArray aExpected;
    quint32 nSeed = 1;
    for (const int nPiece : lPieces) {
        QByteArray aPiece(nPiece, Qt::Uninitialized);
        for (char& cByte : aPiece)
            cByte = char((nSeed = nSeed * 1103515245u + 12345u) >> 16);
        QCOMPARE(oAppender.end(), shared::TFileSize(aExpected.size()));
        QCOMPARE(oAppender.append(oFile, aPiece.constData(), aPiece.size()), 0);
        aExpected += aPiece;
        QByteArray aOnDisk(aExpected.size(), Qt::Uninitialized);
        QCOMPARE(oFile.size(), qint64(aExpected.size()));
        QCOMPARE(oFile.readAt(0, aOnDisk.data(), aOnDisk.size()), 0);
        QVERIFY2(aOnDisk == aExpected, qPrintable(QStringLiteral("after %1 bytes").arg(aExpected.size())));
    }
}

QTEST_APPLESS_MAIN(tst_UncachedAppender)
#include "tst_uncachedappender.moc"
