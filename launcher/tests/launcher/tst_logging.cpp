#include "childprocess.h"
#include "testfiles.h"

#include "launcher/logging.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

using namespace velmar::launcher;

namespace {

const QString kLinePattern = QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \((.*):(\d+)\) (\w+): (.*)$)");

// Logs a few lines into the folder given, the last one fatal.
int logThenDie(int nArgc, char** ppArgv)
{
    QCoreApplication oApplication(nArgc, ppArgv);
    setupLogging(QString::fromLocal8Bit(ppArgv[3]), QStringLiteral("child"));
    qInfo() << "before the end";
    qFatal("the end %d", 42);
    return 0;
}

QStringList readLines(const QString& sPath)
{
    return QString::fromUtf8(readTestFile(sPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class tst_Logging : public QObject
{
    Q_OBJECT

private slots:
    void fatalIsWrittenBeforeAbort();
    void linesFromManyThreadsStayWhole();
};

void tst_Logging::fatalIsWrittenBeforeAbort()
{
    QTemporaryDir oDir;
    QProcess oChild;
    startChild(oChild, QStringLiteral("log-then-die"), {oDir.path()});
    QVERIFY(oChild.waitForFinished(30000));
    QCOMPARE(oChild.exitStatus(), QProcess::CrashExit);

    const QStringList lLines = readLines(oDir.filePath(QStringLiteral("child.log")));
    QCOMPARE(lLines.size(), 2);
    QVERIFY2(lLines.at(0).endsWith(QStringLiteral(") Info: before the end")), qPrintable(lLines.at(0)));
    QVERIFY2(lLines.at(1).endsWith(QStringLiteral(") Fatal: the end 42")), qPrintable(lLines.at(1)));
}

void tst_Logging::linesFromManyThreadsStayWhole()
{
    // A restarted launcher starts its log afresh.
    QTemporaryDir oDir;
    const QString sPath = oDir.filePath(QStringLiteral("threads.log"));
    QVERIFY(writeTestFile(sPath, "a line of the previous run\n"));
    setupLogging(oDir.path(), QStringLiteral("threads"));
    QCOMPARE(logFilePath(), sPath);

    constexpr int kThreads = 8;
    constexpr int kLinesEach = 200;
    QList<QFuture<void>> lFutures;
    for (int nThread = 0; nThread < kThreads; ++nThread) {
        lFutures << QtConcurrent::run([nThread] {
            for (int i = 0; i < kLinesEach; ++i)
                qInfo().noquote() << QStringLiteral("thread %1 line %2 ").arg(nThread).arg(i) + QString(100, QLatin1Char('x'));
        });
    }
    for (QFuture<void>& oFuture : lFutures)
        oFuture.waitForFinished();
    qInstallMessageHandler(nullptr);

    const QStringList lLines = readLines(sPath);
    QCOMPARE(lLines.size(), kThreads * kLinesEach);
    const QRegularExpression oPattern(kLinePattern);
    for (const QString& sLine : lLines)
        QVERIFY2(oPattern.match(sLine).hasMatch() && sLine.endsWith(QString(100, QLatin1Char('x'))), qPrintable(sLine));
}

CORVANE_TEST_MAIN_WITH_CHILDREN(tst_Logging, {"log-then-die", logThenDie})
#include "tst_logging.moc"
