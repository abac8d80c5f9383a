#include "testhttpserver.h"
#include "testpaths.h"

#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class tst_Survey : public QObject
{
    Q_OBJECT

private slots:
    void postsWhatItPrints();
};

void tst_Survey::postsWhatItPrints()
{
    TTestHttpServer oServer;
    QVERIFY(oServer.start());
    oServer.setResponse(QStringLiteral("/survey"), TCannedHttpResponse::withBody("{\"errorCode\":0}"));
    QProcess oTool;
    QSignalSpy oFinished(&oTool, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    oTool.start(builtExecutable(QStringLiteral("corvane-survey")),
                {QStringLiteral("--post"), oServer.url(QStringLiteral("/survey")).toString()});
    QVERIFY2(oFinished.wait(30000), qPrintable(oTool.errorString()));
    QCOMPARE(oTool.exitCode(), 0);
    QCOMPARE(oServer.requests().size(), 1);
    // What it printed is a survey document, and the one it posted.
    const QJsonDocument oPrinted = QJsonDocument::fromJson(oTool.readAllStandardOutput());
    QVERIFY(oPrinted.object().contains(QStringLiteral("clientID")));
    QCOMPARE(QJsonDocument::fromJson(oServer.requests()[0].m_aBody), oPrinted);
}

QTEST_GUILESS_MAIN(tst_Survey)
#include "tst_survey.moc"
