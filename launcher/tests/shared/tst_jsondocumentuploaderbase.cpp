#include "testhttpserver.h"

#include "shared/jsondocumenthttppostsender.h"
#include "shared/jsondocumentuploaderbase.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

using shared::TJsonDocumentHttpPostSender;
using shared::TJsonDocumentUploaderBase;

Q_DECLARE_METATYPE(TCannedHttpResponse)

namespace {

constexpr int kWaitMs = 20000;

QJsonDocument sampleDocument()
{
    QJsonObject oObject;
    oObject.insert(QStringLiteral("dataType"), 0);
    oObject.insert(QStringLiteral("text"), QStringLiteral("Grüße \"quoted\""));
    oObject.insert(QStringLiteral("list"), QJsonArray{1, 2.5, true});
    return QJsonDocument(oObject);
}

} // namespace

class tst_JsonDocumentUploaderBase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void requestCarriesTheDocument();
    void answers_data();
    void answers();
    void twoPostsInFlight();
    void destroyedWhilePostInFlight();

private:
    std::unique_ptr<TTestHttpServer> m_pServer;
};

void tst_JsonDocumentUploaderBase::initTestCase()
{
    qRegisterMetaType<QNetworkReply::NetworkError>();
}

void tst_JsonDocumentUploaderBase::init()
{
    m_pServer = std::make_unique<TTestHttpServer>();
    QVERIFY2(m_pServer->start(), "cannot listen on loopback");
}

void tst_JsonDocumentUploaderBase::requestCarriesTheDocument()
{
    m_pServer->setResponse(QStringLiteral("/survey"), TCannedHttpResponse::withBody("{\"errorCode\":0}"));
    TJsonDocumentUploaderBase oUploader(std::make_shared<TJsonDocumentHttpPostSender>());
    QSignalSpy oFinished(&oUploader, &TJsonDocumentUploaderBase::finished);
    oUploader.upload(m_pServer->url(QStringLiteral("/survey?x=1")), sampleDocument());
    QVERIFY(oFinished.wait(kWaitMs));

    QCOMPARE(m_pServer->requests().size(), 1);
    const TRecordedHttpRequest oRequest = m_pServer->requests().first();
    QCOMPARE(oRequest.m_aMethod, QByteArray("POST"));
    QCOMPARE(oRequest.m_aTarget, QByteArray("/survey?x=1"));
    QCOMPARE(oRequest.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(oRequest.header("Content-Disposition"), QByteArray("form-data; name=\"metadata\""));
    // One compact JSON text in UTF-8, not a multipart body.
    QCOMPARE(oRequest.m_aBody, sampleDocument().toJson(QJsonDocument::Compact));
    QVERIFY(!oRequest.m_aBody.contains('\n'));
    QCOMPARE(QJsonDocument::fromJson(oRequest.m_aBody), sampleDocument());
}

void tst_JsonDocumentUploaderBase::answers_data()
{
    QTest::addColumn<TCannedHttpResponse>("response");
    QTest::addColumn<bool>("successful");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorMessage");

    const QByteArray aRefused = R"({"errorCode":7,"errorMessage":"rejected"})";
    QTest::newRow("accepted") << TCannedHttpResponse::withBody(R"({"errorCode":0,"id":5})") << true
                              << QByteArray(R"({"errorCode":0,"id":5})") << 0 << QString();
    QTest::newRow("no errorCode") << TCannedHttpResponse::withBody(R"({"status":"ok"})") << true
                                  << QByteArray(R"({"status":"ok"})") << 0 << QString();
    QTest::newRow("refused") << TCannedHttpResponse::withBody(aRefused) << false << aRefused << 7 << "rejected";
    // For these the message is whatever the parser or the network layer says.
    QTest::newRow("not JSON") << TCannedHttpResponse::withBody("<html>busy</html>") << false << QByteArray() << -100
                              << "*";
    QTest::newRow("server error with JSON") << TCannedHttpResponse::withBody(aRefused, 500) << false << QByteArray()
                                            << 0 << "*";
    QTest::newRow("connection dropped") << TCannedHttpResponse::dropConnection() << false << QByteArray() << 0 << "*";
}

void tst_JsonDocumentUploaderBase::answers()
{
    QFETCH(TCannedHttpResponse, response);
    QFETCH(bool, successful);
    QFETCH(QByteArray, reply);
    QFETCH(int, errorCode);
    QFETCH(QString, errorMessage);

    m_pServer->setResponse(QStringLiteral("/upload"), response);
    TJsonDocumentUploaderBase oUploader(std::make_shared<TJsonDocumentHttpPostSender>());
    QSignalSpy oFinished(&oUploader, &TJsonDocumentUploaderBase::finished);
    oUploader.upload(m_pServer->url(QStringLiteral("/upload")), sampleDocument());
    QVERIFY(oFinished.wait(kWaitMs));
    QCOMPARE(oFinished.size(), 1);

    QCOMPARE(oFinished[0][0].toBool(), successful);
    const QJsonDocument oReply = oFinished[0][1].value<QJsonDocument>();
    if (reply.isEmpty())
        QVERIFY2(oReply.isNull(), oReply.toJson().constData());
    else
        QCOMPARE(oReply, QJsonDocument::fromJson(reply));
    QCOMPARE(oUploader.lastErrorCode(), errorCode);
    if (errorMessage == QLatin1String("*"))
        QVERIFY2(!oUploader.lastErrorMessage().isEmpty(), "a failure without a reason");
    else
        QCOMPARE(oUploader.lastErrorMessage(), errorMessage);
}

void tst_JsonDocumentUploaderBase::twoPostsInFlight()
{
    m_pServer->setResponse(QStringLiteral("/first"), TCannedHttpResponse::withBody(R"({"which":"first"})"));
    m_pServer->setResponse(QStringLiteral("/second"),
                           TCannedHttpResponse::withBody(R"({"errorCode":7,"errorMessage":"second"})"));
    m_pServer->setHoldResponses(true);

    auto pSender = std::make_shared<TJsonDocumentHttpPostSender>();
    TJsonDocumentUploaderBase oUploader(pSender);
    QSignalSpy oSent(pSender.get(), &TJsonDocumentHttpPostSender::finished);
    QSignalSpy oFinished(&oUploader, &TJsonDocumentUploaderBase::finished);
    oUploader.upload(m_pServer->url(QStringLiteral("/first")), QJsonDocument(QJsonObject{{"n", 1}}));
    oUploader.upload(m_pServer->url(QStringLiteral("/second")), QJsonDocument(QJsonObject{{"n", 2}}));
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->heldCount(), 2, kWaitMs);
    QCOMPARE(oSent.size(), 0);

    // The later request is answered first: each answer arrives with its own data.
    const int nSecond = m_pServer->requests()[0].m_aTarget == "/second" ? 0 : 1;
    m_pServer->answerHeld(nSecond);
    QTRY_COMPARE_WITH_TIMEOUT(oFinished.size(), 1, kWaitMs);
    QVERIFY(!oFinished[0][0].toBool());
    QCOMPARE(oUploader.lastErrorMessage(), QStringLiteral("second"));
    m_pServer->answerHeld(0);
    QTRY_COMPARE_WITH_TIMEOUT(oFinished.size(), 2, kWaitMs);
    QVERIFY(oFinished[1][0].toBool());
    QCOMPARE(oFinished[1][1].value<QJsonDocument>().object().value(QStringLiteral("which")).toString(),
             QStringLiteral("first"));
    // The success after a refusal clears the refusal's error.
    QCOMPARE(oUploader.lastErrorCode(), 0);
    QCOMPARE(oUploader.lastErrorMessage(), QString());

    QCOMPARE(oSent.size(), 2);
    QCOMPARE(oSent[0][2].toByteArray(), QByteArray(R"({"errorCode":7,"errorMessage":"second"})"));
    QCOMPARE(oSent[1][2].toByteArray(), QByteArray(R"({"which":"first"})"));
    QCOMPARE(m_pServer->requests().size(), 2);
}

void tst_JsonDocumentUploaderBase::destroyedWhilePostInFlight()
{
    m_pServer->setHoldResponses(true);
    m_pServer->setDefaultResponse(TCannedHttpResponse::withBody("{}"));
    auto pUploader = std::make_unique<TJsonDocumentUploaderBase>(std::make_shared<TJsonDocumentHttpPostSender>());
    QSignalSpy oFinished(pUploader.get(), &TJsonDocumentUploaderBase::finished);
    pUploader->upload(m_pServer->url(QStringLiteral("/late")), sampleDocument());
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->heldCount(), 1, kWaitMs);
    // The uploader held the only reference to its sender: both go, with the post
    // still open, and the late answer must find nobody to report to.
    pUploader.reset();
    m_pServer->answerHeld(0);
    QCoreApplication::processEvents();
    QCOMPARE(oFinished.size(), 0);
}

QTEST_GUILESS_MAIN(tst_JsonDocumentUploaderBase)
#include "tst_jsondocumentuploaderbase.moc"
