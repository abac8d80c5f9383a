#include "publishtool.h"

#include <QLocalServer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class EFault
{
    UnreadableFile,
    UnreadableFolder,
    LinkOutside,
    LinkUpAndOut,
    DanglingLink,
    LinkInCircle,
    Pipe,
    Socket,
    NameNotUtf8,
    NoFiles,
    NoSource,
    SeveralAtOnce,
};

const QString kGoodFile = QStringLiteral("bin/client");

QStringList buildArguments(const QString& sSource, const QString& sOutput)
{
    return {QStringLiteral("build"), QStringLiteral("--source"), sSource,          QStringLiteral("--out"),
            sOutput,                 QStringLiteral("--version"), QStringLiteral("1"), QStringLiteral("--executable"),
            kGoodFile,               QStringLiteral("--method"),  QStringLiteral("store"), QStringLiteral("--jobs"),
            QStringLiteral("1")};
}

} // namespace

Q_DECLARE_METATYPE(EFault)

class TPublishBadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void refusedWithoutTrace_data();
    void refusedWithoutTrace();
    void failureMidwayLeavesFolderAsItWas();
    void busyFolderIsRefused_data();
    void busyFolderIsRefused();
    void wrongCommandLines_data();
    void wrongCommandLines();
    void impossibleRequests_data();
    void impossibleRequests();

private:
    QLocalServer m_oSocket;
};

void TPublishBadInputTest::refusedWithoutTrace_data()
{
    QTest::addColumn<EFault>("eFault");
    QTest::addColumn<bool>("bOutputExists");
    QTest::addColumn<QStringList>("lMessages");

    const struct
    {
        const char* pName;
        EFault eFault;
        QStringList lMessages;
    } aRows[] = {
        {"unreadable file", EFault::UnreadableFile, {QStringLiteral("Cannot read 'data/secret.bin': ")}},
        {"unreadable folder", EFault::UnreadableFolder, {QStringLiteral("Cannot read the folder 'data/locked': ")}},
        {"link out of the source", EFault::LinkOutside, {QStringLiteral("The symbolic link 'data/passwords' points outside the source")}},
        {"link up and out", EFault::LinkUpAndOut, {QStringLiteral("The symbolic link 'data/sibling' points outside the source")}},
        {"dangling link", EFault::DanglingLink, {QStringLiteral("The symbolic link 'data/gone' leads nowhere")}},
        {"link in a circle", EFault::LinkInCircle, {QStringLiteral("The symbolic link 'data/again' leads in a circle")}},
        {"named pipe", EFault::Pipe, {QStringLiteral("'data/pipe' is a special file")}},
        {"socket", EFault::Socket, {QStringLiteral("'data/socket' is a special file")}},
        {"name not UTF-8", EFault::NameNotUtf8, {QStringLiteral("The name 'data/caf\\xe9.txt' is not valid UTF-8")}},
        {"no files at all", EFault::NoFiles, {QStringLiteral("holds no files: there is nothing to publish")}},
        {"no source", EFault::NoSource, {QStringLiteral("Cannot read the source folder")}},
        {"every problem at once", EFault::SeveralAtOnce,
         {QStringLiteral("'data/pipe' is a special file"), QStringLiteral("'data/gone' leads nowhere"),
          QStringLiteral("'data/passwords' points outside")}},
    };
    for (const auto& oRow : aRows) {
        QTest::newRow(qPrintable(QStringLiteral("%1, new output").arg(QLatin1String(oRow.pName))))
            << oRow.eFault << false << oRow.lMessages;
        QTest::newRow(qPrintable(QStringLiteral("%1, output with a version").arg(QLatin1String(oRow.pName))))
            << oRow.eFault << true << oRow.lMessages;
    }
}

void TPublishBadInputTest::refusedWithoutTrace()
{
    QFETCH(EFault, eFault);
    QFETCH(bool, bOutputExists);
    QFETCH(QStringList, lMessages);

    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("cdn"));
    if (bOutputExists) {
        const QString sGood = oDir.filePath(QStringLiteral("good"));
        QVERIFY(writeTestFile(sGood + QLatin1Char('/') + kGoodFile, "good\n", true));
        QVERIFY(runPublish(buildArguments(sGood, sOutput)).nExitCode == 0);
    }
    const QMap<QString, QString> hBefore = treeState(sOutput);

    if (eFault != EFault::NoFiles && eFault != EFault::NoSource) {
        QVERIFY(writeTestFile(sSource + QLatin1Char('/') + kGoodFile, noiseBytes(70000, 1), true));
        QVERIFY(writeTestFile(sSource + QStringLiteral("/data/fine.txt"), "fine\n"));
    }
    const QString sData = sSource + QStringLiteral("/data/");
    const bool bSeveral = eFault == EFault::SeveralAtOnce;
    bool bUnprivileged = false;
    const QByteArray aNotUtf8 = QFile::encodeName(sData) + "caf\xe9.txt";
    switch (eFault) {
    case EFault::UnreadableFile:
        QVERIFY(writeTestFile(sData + QStringLiteral("secret.bin"), "secret"));
        QVERIFY(QFile::setPermissions(sData + QStringLiteral("secret.bin"), QFileDevice::WriteOwner));
        bUnprivileged = true;
        break;
    case EFault::UnreadableFolder:
        QVERIFY(writeTestFile(sData + QStringLiteral("locked/inner.txt"), "inner"));
        QVERIFY(QFile::setPermissions(sData + QStringLiteral("locked"), QFileDevice::WriteOwner));
        bUnprivileged = true;
        break;
    case EFault::NameNotUtf8: {
        const int nDescriptor = ::open(aNotUtf8.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(nDescriptor >= 0);
        ::close(nDescriptor);
        break;
    }
    case EFault::NoFiles:
        QVERIFY(QDir().mkpath(sSource + QStringLiteral("/empty/folders/only")));
        break;
    case EFault::LinkUpAndOut:
        QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("sibling/x.txt")), "x"));
        QVERIFY(QFile::link(QStringLiteral("../../sibling"), sData + QStringLiteral("sibling")));
        break;
    case EFault::LinkInCircle:
        QVERIFY(QFile::link(QStringLiteral(".."), sData + QStringLiteral("again")));
        break;
    case EFault::Socket:
        QVERIFY2(m_oSocket.listen(sData + QStringLiteral("socket")), qPrintable(m_oSocket.errorString()));
        break;
    default:
        break;
    }
    if (eFault == EFault::LinkOutside || bSeveral)
        QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), sData + QStringLiteral("passwords")));
    if (eFault == EFault::DanglingLink || bSeveral)
        QVERIFY(QFile::link(QStringLiteral("missing-target"), sData + QStringLiteral("gone")));
    if (eFault == EFault::Pipe || bSeveral)
        QVERIFY(::mkfifo(QFile::encodeName(sData + QStringLiteral("pipe")).constData(), 0644) == 0);

    const TToolRun oRun = runPublish(buildArguments(sSource, sOutput), bUnprivileged);
    m_oSocket.close();
    // Qt cannot name this file, so it could not remove it with the folder.
    ::unlink(aNotUtf8.constData());
    QFile::setPermissions(sData + QStringLiteral("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY2(oRun.nExitCode == 1, qPrintable(oRun.describe()));
    for (const QString& sMessage : lMessages)
        QVERIFY2(oRun.sErr.contains(sMessage), qPrintable(oRun.describe()));
    QVERIFY2(treeState(sOutput) == hBefore, "the output folder changed");
    QVERIFY(oRun.sOut.isEmpty());
}

void TPublishBadInputTest::failureMidwayLeavesFolderAsItWas()
{
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("cdn"));
    QVERIFY(writeTestFile(sSource + QLatin1Char('/') + kGoodFile, noiseBytes(70000, 1), true));
    for (int nIndex = 0; nIndex < 20; ++nIndex)
        QVERIFY(writeTestFile(sSource + QStringLiteral("/data/file%1.txt").arg(nIndex, 2, 10, QLatin1Char('0')),
                              QByteArray::number(nIndex)));
    // The last file's chunk folder is taken by a file: its chunk cannot be written
    // after all the others have been.
    const QByteArray aBlocked = "blocked\n";
    QVERIFY(writeTestFile(sSource + QStringLiteral("/zz-blocked.txt"), aBlocked));
    const QString sBlocker = QStringLiteral("chunks/") + QString::fromLatin1(shared::TSha256::hash(aBlocked).toHex().left(2));
    QVERIFY(writeTestFile(sOutput + QLatin1Char('/') + sBlocker, "in the way"));
    const QMap<QString, QString> hBefore = treeState(sOutput);

    const TToolRun oRun = runPublish(buildArguments(sSource, sOutput));
    QVERIFY2(oRun.nExitCode == 1, qPrintable(oRun.describe()));
    QVERIFY2(oRun.sErr.contains(QStringLiteral("Cannot write the chunk file")), qPrintable(oRun.describe()));
    QVERIFY2(oRun.sErr.contains(QStringLiteral("Nothing was published")), qPrintable(oRun.describe()));
    QCOMPARE(treeState(sOutput), hBefore);
}

void TPublishBadInputTest::busyFolderIsRefused_data()
{
    QTest::addColumn<QString>("sCommand");
    QTest::newRow("build") << QStringLiteral("build");
    QTest::newRow("prune") << QStringLiteral("prune");
}

void TPublishBadInputTest::busyFolderIsRefused()
{
    QFETCH(QString, sCommand);
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    const QString sOutput = oDir.filePath(QStringLiteral("cdn"));
    QVERIFY(writeTestFile(sSource + QLatin1Char('/') + kGoodFile, "good\n", true));
    QVERIFY(runPublish(buildArguments(sSource, sOutput)).nExitCode == 0);
    // Work for either command, had it run: a changed file, a chunk no document needs.
    QVERIFY(writeTestFile(sSource + QLatin1Char('/') + kGoodFile, "better\n", true));
    QVERIFY(writeTestFile(sOutput + QStringLiteral("/chunks/00/unneeded.store"), "old"));

    // Another run holds the folder: here, this test.
    const int nLock = ::open(QFile::encodeName(sOutput + QStringLiteral("/.corvane-publish.lock")).constData(),
                             O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(nLock >= 0 && ::flock(nLock, LOCK_EX) == 0);
    const QMap<QString, QString> hBefore = treeState(sOutput);
    const TToolRun oRun = runPublish(sCommand == QLatin1String("build") ? buildArguments(sSource, sOutput)
                                                                        : QStringList{sCommand, sOutput});
    ::close(nLock);
    QVERIFY2(oRun.nExitCode == 1, qPrintable(oRun.describe()));
    QCOMPARE(oRun.sErr, QStringLiteral("'%1' is in use by another corvane-publish run; try again when it has finished.\n")
                            .arg(QDir(sOutput).absolutePath()));
    QCOMPARE(treeState(sOutput), hBefore);
}

void TPublishBadInputTest::wrongCommandLines_data()
{
    QTest::addColumn<QStringList>("lArguments");
    QTest::addColumn<QString>("sMessage");
    const QStringList lBase = buildArguments(QStringLiteral("src"), QStringLiteral("out"));
    const auto without = [&lBase](const QString& sOption) {
        QStringList lArguments = lBase;
        const int nIndex = lArguments.indexOf(sOption);
        lArguments.removeAt(nIndex);
        lArguments.removeAt(nIndex);
        return lArguments;
    };
    QTest::newRow("no executable") << without(QStringLiteral("--executable")) << QStringLiteral("--executable is required");
    QTest::newRow("method twice") << lBase + QStringList{QStringLiteral("--method"), QStringLiteral("zip")}
                                    << QStringLiteral("--method is given more than once");
    QTest::newRow("bad method") << without(QStringLiteral("--method")) + QStringList{QStringLiteral("--method=zip")}
                                << QStringLiteral("Unknown method 'zip'");
    QTest::newRow("bad variant") << lBase + QStringList{QStringLiteral("--variant"), QStringLiteral("Regular")}
                                 << QStringLiteral("Unknown variant 'Regular'");
    QTest::newRow("asset version alone") << lBase + QStringList{QStringLiteral("--asset-version"), QStringLiteral("2")}
                                         << QStringLiteral("--asset-version needs --assets");
    QTest::newRow("assets outside") << lBase + QStringList{QStringLiteral("--assets"), QStringLiteral("../x")}
                                    << QStringLiteral("--assets must name a folder inside the source");
    QTest::newRow("executable outside") << without(QStringLiteral("--executable"))
                                               + QStringList{QStringLiteral("--executable"), QStringLiteral("/bin/sh")}
                                        << QStringLiteral("--executable must name a file inside the source");
    QTest::newRow("no jobs") << without(QStringLiteral("--jobs")) + QStringList{QStringLiteral("--jobs"), QStringLiteral("0")}
                             << QStringLiteral("--jobs must be a number from 1 to 256");
    QTest::newRow("level of a method without levels")
        << lBase + QStringList{QStringLiteral("--level"), QStringLiteral("1")} << QStringLiteral("The method 'store' has no levels");
    QTest::newRow("level beyond the method's") << without(QStringLiteral("--method"))
                                                       + QStringList{QStringLiteral("--method"), QStringLiteral("zpaq"),
                                                                     QStringLiteral("--level"), QStringLiteral("6")}
                                                << QStringLiteral("--level must be a number from 1 to 5 for zpaq");
    QTest::newRow("stray argument") << lBase + QStringList{QStringLiteral("extra")} << QStringLiteral("Unexpected argument 'extra'");
    QTest::newRow("unknown option") << lBase + QStringList{QStringLiteral("--fast")} << QStringLiteral("Unknown option 'fast'");
}

void TPublishBadInputTest::wrongCommandLines()
{
    QFETCH(QStringList, lArguments);
    QFETCH(QString, sMessage);
    QTemporaryDir oDir;
    QVERIFY(QDir::setCurrent(oDir.path()));
    const TToolRun oRun = runPublish(lArguments);
    QVERIFY2(oRun.nExitCode == 2 && oRun.sErr.contains(sMessage), qPrintable(oRun.describe()));
    QVERIFY(oRun.sErr.contains(QStringLiteral("Usage: corvane-publish build")));
    QVERIFY(!QFileInfo::exists(oDir.filePath(QStringLiteral("out"))));
}

void TPublishBadInputTest::impossibleRequests_data()
{
    QTest::addColumn<QStringList>("lExtra");
    QTest::addColumn<QString>("sOutput");
    QTest::addColumn<QString>("sMessage");
    QTest::newRow("executable not in the source") << QStringList{QStringLiteral("--executable"), QStringLiteral("bin/other")}
                                                  << QStringLiteral("cdn")
                                                  << QStringLiteral("The executable 'bin/other' is not a file of the source");
    QTest::newRow("asset folder without files") << QStringList{QStringLiteral("--assets"), QStringLiteral("nothing")}
                                                << QStringLiteral("cdn")
                                                << QStringLiteral("The asset folder 'nothing' holds no files");
    QTest::newRow("output inside the source") << QStringList() << QStringLiteral("client/cdn")
                                              << QStringLiteral("lies inside the source");
    QTest::newRow("output is the source") << QStringList() << QStringLiteral("client/.") << QStringLiteral("lies inside the source");
    QTest::newRow("output is a file") << QStringList() << QStringLiteral("plain-file") << QStringLiteral("is not a folder");
}

void TPublishBadInputTest::impossibleRequests()
{
    QFETCH(QStringList, lExtra);
    QFETCH(QString, sOutput);
    QFETCH(QString, sMessage);
    QTemporaryDir oDir;
    const QString sSource = oDir.filePath(QStringLiteral("client"));
    QVERIFY(writeTestFile(sSource + QLatin1Char('/') + kGoodFile, "client", true));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("plain-file")), "plain"));
    QStringList lArguments = buildArguments(sSource, oDir.filePath(sOutput));
    if (!lExtra.isEmpty() && lExtra.first() == QLatin1String("--executable"))
        lArguments[lArguments.indexOf(QStringLiteral("--executable")) + 1] = lExtra.last();
    else
        lArguments += lExtra;
    const QMap<QString, QString> hBefore = treeState(oDir.path());
    const TToolRun oRun = runPublish(lArguments);
    QVERIFY2(oRun.nExitCode == 1 && oRun.sErr.contains(sMessage), qPrintable(oRun.describe()));
    QCOMPARE(treeState(oDir.path()), hBefore);
}

QTEST_GUILESS_MAIN(TPublishBadInputTest)
#include "tst_publishbadinput.moc"
