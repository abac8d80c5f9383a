// corvane-publish pack and unpack, run as the built program: exit codes, error
// text on standard error, and OUT left untouched when the work fails.

#include "packedtestdata.h"
#include "publishtool.h"

#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <memory>

namespace {

const char kFailureText[] = "Invalid input data could not be decompressed";

} // namespace

class TPublishPackTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void packThenUnpack();
    void strictFailureLeavesOutUntouched();
    void lenientCopiesWhatDoesNotUnpack();
    void unreadableInput();
    void commandLine_data();
    void commandLine();
    void allocationFailureIsAnError();

private:
    std::unique_ptr<QTemporaryDir> m_pDir;
    QString path(const char* pName) const { return m_pDir->filePath(QString::fromLatin1(pName)); }
};

void TPublishPackTest::init()
{
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_pDir->isValid(), qPrintable(m_pDir->errorString()));
}

// Every method's stream and name are the packer's own tests; here the tool's path
// from a file through one method and back.
void TPublishPackTest::packThenUnpack()
{
    const QByteArray aInput = textLikeTestBytes(200000, 41) + noiseBytes(50000, 42);
    QVERIFY(writeTestFile(path("in"), aInput));

    const TToolRun oPack = runPublish({"pack", "--method", "lzip", path("in"), path("packed")});
    QVERIFY2(oPack.nExitCode == 0, qPrintable(oPack.describe()));
    const QByteArray aPacked = readTestFile(path("packed"));
    QVERIFY(aPacked.size() > 2);
    QCOMPARE(aPacked.at(0), 'p');
    QCOMPARE(static_cast<int>(aPacked.at(1)), 4);

    const TToolRun oUnpack = runPublish({"unpack", path("packed"), path("out")});
    QVERIFY2(oUnpack.nExitCode == 0, qPrintable(oUnpack.describe()));
    QCOMPARE(readTestFile(path("out")), aInput);
}

void TPublishPackTest::strictFailureLeavesOutUntouched()
{
    QVERIFY(writeTestFile(path("bad"), packedTestStream(3, 100, "not deflate at all")));
    QVERIFY(writeTestFile(path("out"), "previous contents"));
    const TToolRun oRun = runPublish({"unpack", path("bad"), path("out")});
    QCOMPARE(oRun.nExitCode, 1);
    QVERIFY2(oRun.sErr.contains(QLatin1String(kFailureText)), qPrintable(oRun.describe()));
    QCOMPARE(readTestFile(path("out")), QByteArray("previous contents"));

    const TToolRun oFresh = runPublish({"unpack", path("bad"), path("absent")});
    QCOMPARE(oFresh.nExitCode, 1);
    QVERIFY2(!QFile::exists(path("absent")), "OUT was created");
    QCOMPARE(QDir(m_pDir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TPublishPackTest::lenientCopiesWhatDoesNotUnpack()
{
    const QByteArray aBad = packedTestStream(3, 100, "not deflate at all");
    QVERIFY(writeTestFile(path("bad"), aBad));
    const TToolRun oRun = runPublish({"unpack", "--lenient", path("bad"), path("out")});
    QVERIFY2(oRun.nExitCode == 0, qPrintable(oRun.describe()));
    QCOMPARE(readTestFile(path("out")), aBad);

    // Bytes that are not packed are copied by both forms.
    QVERIFY(writeTestFile(path("plain"), "plain text"));
    QCOMPARE(runPublish({"unpack", path("plain"), path("plain.out")}).nExitCode, 0);
    QCOMPARE(readTestFile(path("plain.out")), QByteArray("plain text"));
}

void TPublishPackTest::unreadableInput()
{
    QVERIFY(writeTestFile(path("out"), "previous contents"));
    for (const QStringList& lCommand : {QStringList{"unpack"}, QStringList{"pack", "--method", "lzma"}}) {
        const TToolRun oRun = runPublish(lCommand + QStringList{path("missing"), path("out")});
        QCOMPARE(oRun.nExitCode, 1);
        QVERIFY2(oRun.sErr.contains(QLatin1String("missing")), qPrintable(oRun.describe()));
        QCOMPARE(readTestFile(path("out")), QByteArray("previous contents"));
    }
}

void TPublishPackTest::commandLine_data()
{
    QTest::addColumn<QStringList>("lArguments");
    QTest::addColumn<int>("nExitCode");
    QTest::addColumn<QByteArray>("aOutput");
    QTest::newRow("no command") << QStringList() << 2 << QByteArray("Usage: corvane-publish");
    QTest::newRow("unknown command") << QStringList{"shrink"} << 2 << QByteArray("Unknown command 'shrink'");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("unpack [--lenient] IN OUT");
    QTest::newRow("pack help") << QStringList{"pack", "--help"} << 0
                               << QByteArray("store, deflate, lzip, lzma, zpaq, crush");
    QTest::newRow("pack without method") << QStringList{"pack", "a", "b"} << 2 << QByteArray("--method is required");
    QTest::newRow("unknown method") << QStringList{"pack", "--method", "gzip", "a", "b"} << 2
                                    << QByteArray("Unknown method 'gzip'");
    QTest::newRow("pack, one file") << QStringList{"pack", "--method=store", "a"} << 2 << QByteArray("Expected IN and OUT");
    QTest::newRow("unpack, unknown option") << QStringList{"unpack", "--strict", "a", "b"} << 2
                                            << QByteArray("Unknown option '--strict'");
}

void TPublishPackTest::commandLine()
{
    QFETCH(QStringList, lArguments);
    QFETCH(int, nExitCode);
    QFETCH(QByteArray, aOutput);
    const TToolRun oRun = runPublish(lArguments);
    QCOMPARE(oRun.nExitCode, nExitCode);
    QVERIFY2((oRun.sOut + oRun.sErr).contains(QString::fromUtf8(aOutput)), qPrintable(oRun.describe()));
}

// A declared size the machine cannot provide is a decoding failure, not an abort.
void TPublishPackTest::allocationFailureIsAnError()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer cannot run under a limit on address space");
#else
    QVERIFY(writeTestFile(path("huge"), packedTestStream(3, INT_MAX - 100, "\x03\x00", 2)));
    QVERIFY(writeTestFile(path("out"), "previous contents"));
    // Through a shell that limits the address space first.
    const QString sCommand = QStringLiteral("ulimit -v 1000000 && exec \"$0\" unpack \"$1\" \"$2\"");
    QProcess oShell;
    oShell.start(QStringLiteral("sh"), {"-c", sCommand, builtExecutable(QStringLiteral("corvane-publish")), path("huge"), path("out")});
    QVERIFY(oShell.waitForFinished(120000) && oShell.exitStatus() == QProcess::NormalExit);
    const QByteArray aErr = oShell.readAllStandardError();
    QCOMPARE(oShell.exitCode(), 1);
    QVERIFY2(aErr.contains(kFailureText), aErr.constData());
    QCOMPARE(readTestFile(path("out")), QByteArray("previous contents"));
#endif
}

QTEST_GUILESS_MAIN(TPublishPackTest)
#include "tst_publishpack.moc"
