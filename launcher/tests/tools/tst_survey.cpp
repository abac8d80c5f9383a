#include "recordinghttpserver.h"
#include "testpaths.h"

#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {
constexpr int kWaitMs = 30000;
}

class tst_Survey : public QObject
{
    Q_OBJECT

private slots:
    void printsTheDocument();
    void postsWhatItPrints();
};

void tst_Survey::printsTheDocument()
{
    QProcess oTool;
    oTool.start(builtExecutable(QStringLiteral("corvane-survey")), QStringList());
    QVERIFY2(oTool.waitForFinished(kWaitMs), qPrintable(oTool.errorString()));
    QCOMPARE(oTool.exitCode(), 0);
    QJsonParseError oError;
    const QJsonObject oDocument = QJsonDocument::fromJson(oTool.readAllStandardOutput(), &oError).object();
    QVERIFY2(oError.error == QJsonParseError::NoError, qPrintable(oError.errorString()));
    QCOMPARE(oDocument.keys(), (QStringList{"clientID", "cpu", "dataType", "gpu", "mainMemorySize", "monitors",
                                            "operatingSystem"}));
}

void tst_Survey::postsWhatItPrints()
{
    TRecordingHttpServer oServer;
    QVERIFY(oServer.listen());
    oServer.setResponse(QStringLiteral("/survey"), TCannedHttpResponse::withBody("{\"errorCode\":0}"));
    QProcess oTool;
    QSignalSpy oFinished(&oTool, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    oTool.start(builtExecutable(QStringLiteral("corvane-survey")),
                {QStringLiteral("--post"), oServer.url(QStringLiteral("/survey")).toString()});
    QVERIFY2(oFinished.wait(kWaitMs), qPrintable(oTool.errorString()));
    QCOMPARE(oTool.exitCode(), 0);
    QCOMPARE(oServer.requests().size(), 1);
    QCOMPARE(QJsonDocument::fromJson(oServer.requests()[0].m_aBody),
             QJsonDocument::fromJson(oTool.readAllStandardOutput()));
}

QTEST_GUILESS_MAIN(tst_Survey)
#include "tst_survey.moc"
