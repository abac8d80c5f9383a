#include "recordinghttpserver.h"

#include "systemsurvey/systemsurveyuploader.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

using namespace systemsurvey;

namespace {

constexpr int kWaitMs = 20000;

// Hands out a fixed document and counts how often it was asked.
class TFixedDocumentCreator : public TSystemSurveyAsJsonDocumentCreator
{
public:
    TFixedDocumentCreator() : TSystemSurveyAsJsonDocumentCreator(nullptr, nullptr) {}
    QJsonDocument createDocument() const override
    {
        ++m_nCreated;
        return QJsonDocument(QJsonObject{{QStringLiteral("dataType"), 0}, {QStringLiteral("n"), m_nCreated}});
    }
    mutable int m_nCreated = 0;
};

} // namespace

class tst_SystemSurveyUploader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void postsAFreshSurveyToTheSurveyUrl();
};

void tst_SystemSurveyUploader::initTestCase()
{
    qRegisterMetaType<QNetworkReply::NetworkError>();
}

void tst_SystemSurveyUploader::postsAFreshSurveyToTheSurveyUrl()
{
    TRecordingHttpServer oServer;
    QVERIFY(oServer.listen());
    oServer.setResponse(QStringLiteral("/hardwaresurvey"), TCannedHttpResponse::withBody("{\"errorCode\":0}"));
    auto pCreator = std::make_shared<TFixedDocumentCreator>();
    TSystemSurveyUploader oUploader(oServer.url(QStringLiteral("/hardwaresurvey")), pCreator,
                                    std::make_shared<shared::TJsonDocumentHttpPostSender>());
    QSignalSpy oFinished(&oUploader, &TSystemSurveyUploader::finished);

    // Nothing is gathered before the upload starts.
    QCOMPARE(pCreator->m_nCreated, 0);
    oUploader.startUpload();
    QCOMPARE(pCreator->m_nCreated, 1);
    QVERIFY(oFinished.wait(kWaitMs));
    QVERIFY(oFinished[0][0].toBool());
    QCOMPARE(oServer.requests().size(), 1);
    QCOMPARE(oServer.requests()[0].m_aMethod, QByteArray("POST"));
    QCOMPARE(oServer.requests()[0].m_aTarget, QByteArray("/hardwaresurvey"));
    QCOMPARE(oServer.requests()[0].m_aBody, QByteArray(R"({"dataType":0,"n":1})"));

    oUploader.startUpload();
    QVERIFY(oFinished.wait(kWaitMs));
    QCOMPARE(oServer.requests()[1].m_aBody, QByteArray(R"({"dataType":0,"n":2})"));
}

QTEST_GUILESS_MAIN(tst_SystemSurveyUploader)
#include "tst_systemsurveyuploader.moc"
