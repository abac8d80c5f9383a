#include "publishtool.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

QStringList buildArguments(const QString& sSource, const QString& sOutput,
                           const QString& sOptions = QStringLiteral("--executable bin/client --method store --jobs 1"))
{
    return QStringList{QStringLiteral("build"), QStringLiteral("--source"), sSource, QStringLiteral("--out"), sOutput,
                       QStringLiteral("--version"), QStringLiteral("1")}
           + sOptions.split(QLatin1Char(' '));
}

} // namespace

// A build that cannot be done leaves the output folder as it was.
class TPublishBadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyProblemIsNamed();
    void failureMidwayLeavesFolderAsItWas();
    void busyFolderIsRefused();
    void refusedRequests_data();
    void refusedRequests();

private:
    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_sSource;
    QString m_sOutput;
};

void TPublishBadInputTest::init()
{
    m_pDir = std::make_unique<QTemporaryDir>();
    m_sSource = m_pDir->filePath(QStringLiteral("client"));
    m_sOutput = m_pDir->filePath(QStringLiteral("cdn"));
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/bin/client"), noiseBytes(70000, 1), true));
}

// Over a published version: a link out of the source, one up and out, one that
// leads nowhere, one in a circle, a named pipe, an unreadable file and folder, a
// name that is not UTF-8. The report names every one as it is, not just the first.
void TPublishBadInputTest::everyProblemIsNamed()
{
    const QString sData = m_sSource + QStringLiteral("/data/");
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput)).nExitCode == 0);
    const QMap<QString, QString> hBefore = treeState(m_sOutput);
    for (const char* pFile : {"fine.txt", "secret.bin", "locked/inner.txt"})
        QVERIFY(writeTestFile(sData + QLatin1String(pFile), "text\n"));
    QVERIFY(QFile::setPermissions(sData + QStringLiteral("secret.bin"), QFile::WriteOwner));
    QVERIFY(QFile::setPermissions(sData + QStringLiteral("locked"), QFile::WriteOwner));
    QVERIFY(writeTestFile(m_pDir->filePath(QStringLiteral("sibling/x.txt")), "x"));
    QVERIFY(QFile::link(QStringLiteral("../../sibling"), sData + QStringLiteral("sibling")));
    QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), sData + QStringLiteral("passwords")));
    QVERIFY(QFile::link(QStringLiteral("missing"), sData + QStringLiteral("gone")));
    QVERIFY(QFile::link(QStringLiteral(".."), sData + QStringLiteral("again")));
    QVERIFY(::mkfifo(QFile::encodeName(sData + QStringLiteral("pipe")).constData(), 0644) == 0);
    const QByteArray aNotUtf8 = QFile::encodeName(sData) + "caf\xe9.txt";
    QVERIFY(::close(::open(aNotUtf8.constData(), O_CREAT | O_WRONLY, 0644)) == 0);

    // Without the capabilities that let root read any file.
    const TToolRun oRun = runPublish(buildArguments(m_sSource, m_sOutput), true);
    // Qt cannot name this file, so it could not remove it with the folder.
    ::unlink(aNotUtf8.constData());
    QFile::setPermissions(sData + QStringLiteral("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(oRun.nExitCode == 1 && oRun.sOut.isEmpty(), qPrintable(oRun.describe()));
    for (const char* pNamed : {"secret.bin", "locked", "sibling", "passwords", "gone", "again", "pipe", "caf\\xe9.txt"})
        QVERIFY2(oRun.sErr.contains(QStringLiteral("'data/%1'").arg(QLatin1String(pNamed))), qPrintable(oRun.describe()));
    QCOMPARE(treeState(m_sOutput), hBefore);

    // A source of folders only, and none at all, are refused as well.
    QVERIFY(QDir(m_sSource).removeRecursively() && QDir().mkpath(sData + QStringLiteral("empty")));
    QCOMPARE(runPublish(buildArguments(m_sSource, m_sOutput)).nExitCode, 1);
    QVERIFY(QDir(m_sSource).removeRecursively());
    QCOMPARE(runPublish(buildArguments(m_sSource, m_sOutput)).nExitCode, 1);
    QCOMPARE(treeState(m_sOutput), hBefore);
}

void TPublishBadInputTest::failureMidwayLeavesFolderAsItWas()
{
    for (int nIndex = 10; nIndex < 30; ++nIndex)
        QVERIFY(writeTestFile(m_sSource + QStringLiteral("/data/file%1.txt").arg(nIndex), QByteArray::number(nIndex)));
    // The last file's chunk folder is taken by a file: its chunk cannot be written
    // after all the others have been.
    const QByteArray aBlocked = "blocked\n";
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/zz-blocked.txt"), aBlocked));
    const QString sBlocker = QStringLiteral("/chunks/") + QString::fromLatin1(shared::TSha256::hash(aBlocked).toHex().left(2));
    QVERIFY(writeTestFile(m_sOutput + sBlocker, "in the way"));
    const QMap<QString, QString> hBefore = treeState(m_sOutput);
    const TToolRun oRun = runPublish(buildArguments(m_sSource, m_sOutput));
    QVERIFY2(oRun.nExitCode == 1 && !oRun.sErr.isEmpty(), qPrintable(oRun.describe()));
    QCOMPARE(treeState(m_sOutput), hBefore);
}

void TPublishBadInputTest::busyFolderIsRefused()
{
    QVERIFY(runPublish(buildArguments(m_sSource, m_sOutput)).nExitCode == 0);
    // Work for build and prune, had they run: a changed file, a chunk no document needs.
    QVERIFY(writeTestFile(m_sSource + QStringLiteral("/bin/client"), "better\n", true));
    QVERIFY(writeTestFile(m_sOutput + QStringLiteral("/chunks/00/unneeded.store"), "old"));
    // Another run holds the folder: here, this test.
    const int nLock = ::open(QFile::encodeName(m_sOutput + QStringLiteral("/.corvane-publish.lock")).constData(),
                             O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(nLock >= 0 && ::flock(nLock, LOCK_EX) == 0);
    const QMap<QString, QString> hBefore = treeState(m_sOutput);
    for (const QStringList& lArguments : {buildArguments(m_sSource, m_sOutput), QStringList{QStringLiteral("prune"), m_sOutput}}) {
        const TToolRun oRun = runPublish(lArguments);
        QVERIFY2(oRun.nExitCode == 1 && !oRun.sErr.isEmpty(), qPrintable(oRun.describe()));
    }
    ::close(nLock);
    QCOMPARE(treeState(m_sOutput), hBefore);
}

void TPublishBadInputTest::refusedRequests_data()
{
    QTest::addColumn<QString>("sOptions");
    QTest::addColumn<QString>("sOutput");
    QTest::addColumn<int>("nExitCode");
    QTest::newRow("unknown method") << "--executable bin/client --method zip" << "cdn" << 2;
    QTest::newRow("assets outside") << "--executable bin/client --assets ../x" << "cdn" << 2;
    QTest::newRow("executable outside") << "--executable /bin/sh" << "cdn" << 2;
    QTest::newRow("no jobs") << "--executable bin/client --jobs 0" << "cdn" << 2;
    QTest::newRow("level beyond the method's") << "--executable bin/client --method zpaq --level 6" << "cdn" << 2;
    // The launcher takes asset version "1" for "update available", always.
    QTest::newRow("asset version 1 from --version 1") << "--executable bin/client --assets bin" << "cdn" << 2;
    QTest::newRow("asset version 1 given") << "--executable bin/client --assets bin --asset-version 1" << "cdn" << 2;
    QTest::newRow("executable not in the source") << "--executable bin/other" << "cdn" << 1;
    QTest::newRow("asset folder without files") << "--executable bin/client --assets nothing --asset-version 2" << "cdn" << 1;
    QTest::newRow("output inside the source") << "--executable bin/client" << "client/cdn" << 1;
    QTest::newRow("output is the source") << "--executable bin/client" << "client/." << 1;
    QTest::newRow("output is a file") << "--executable bin/client" << "plain-file" << 1;
}

void TPublishBadInputTest::refusedRequests()
{
    QFETCH(QString, sOptions);
    QFETCH(QString, sOutput);
    QFETCH(int, nExitCode);
    QVERIFY(writeTestFile(m_pDir->filePath(QStringLiteral("plain-file")), "plain"));
    const QMap<QString, QString> hBefore = treeState(m_pDir->path());
    const TToolRun oRun = runPublish(buildArguments(m_sSource, m_pDir->filePath(sOutput), sOptions));
    QVERIFY2(oRun.nExitCode == nExitCode && !oRun.sErr.isEmpty(), qPrintable(oRun.describe()));
    QCOMPARE(treeState(m_pDir->path()), hBefore);
}

QTEST_GUILESS_MAIN(TPublishBadInputTest)
#include "tst_publishbadinput.moc"
