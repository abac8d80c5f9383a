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
    return QJsonDocument(QJsonObject{{"dataType", 0}, {"text", "Grüße \"quoted\""}, {"list", QJsonArray{1, 2.5, true}}});
}

} // namespace

class tst_JsonDocumentUploaderBase : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answers_data();
    void answers();
    void postsInFlight();

private:
    std::unique_ptr<TTestHttpServer> m_pServer;
};

void tst_JsonDocumentUploaderBase::init()
{
    qRegisterMetaType<QNetworkReply::NetworkError>();
    m_pServer = std::make_unique<TTestHttpServer>();
    QVERIFY2(m_pServer->start(), "cannot listen on loopback");
}

void tst_JsonDocumentUploaderBase::answers_data()
{
    QTest::addColumn<TCannedHttpResponse>("response");
    QTest::addColumn<bool>("successful");
    QTest::addColumn<bool>("bReplyKept");
    QTest::addColumn<int>("errorCode");

    const QByteArray aRefused = R"({"errorCode":7,"errorMessage":"rejected"})";
    QTest::newRow("accepted") << TCannedHttpResponse::withBody(R"({"errorCode":0,"id":5})") << true << true << 0;
    QTest::newRow("no errorCode") << TCannedHttpResponse::withBody(R"({"status":"ok"})") << true << true << 0;
    QTest::newRow("refused") << TCannedHttpResponse::withBody(aRefused) << false << true << 7;
    QTest::newRow("not JSON") << TCannedHttpResponse::withBody("<html>busy</html>") << false << false << -100;
    QTest::newRow("server error with JSON") << TCannedHttpResponse::withBody(aRefused, 500) << false << false << 0;
}

void tst_JsonDocumentUploaderBase::answers()
{
    QFETCH(TCannedHttpResponse, response);
    QFETCH(bool, successful);
    QFETCH(bool, bReplyKept);
    QFETCH(int, errorCode);
    m_pServer->setResponse(QStringLiteral("/upload"), response);
    TJsonDocumentUploaderBase oUploader(std::make_shared<TJsonDocumentHttpPostSender>());
    QSignalSpy oFinished(&oUploader, &TJsonDocumentUploaderBase::finished);
    oUploader.upload(m_pServer->url(QStringLiteral("/upload")), sampleDocument());
    QVERIFY(oFinished.wait(kWaitMs));
    QCOMPARE(oFinished.size(), 1);
    QCOMPARE(oFinished[0][0].toBool(), successful);
    QCOMPARE(oFinished[0][1].value<QJsonDocument>(), bReplyKept ? QJsonDocument::fromJson(response.m_aBody) : QJsonDocument());
    QCOMPARE(oUploader.lastErrorCode(), errorCode);
    QCOMPARE(oUploader.lastErrorMessage().isEmpty(), successful);
}

void tst_JsonDocumentUploaderBase::postsInFlight()
{
    m_pServer->setResponse(QStringLiteral("/first"), TCannedHttpResponse::withBody(R"({"which":"first"})"));
    m_pServer->setResponse(QStringLiteral("/second"), TCannedHttpResponse::withBody(R"({"errorCode":7,"errorMessage":"second"})"));
    m_pServer->setHoldResponses(true);

    TJsonDocumentUploaderBase oUploader(std::make_shared<TJsonDocumentHttpPostSender>());
    QSignalSpy oFinished(&oUploader, &TJsonDocumentUploaderBase::finished);
    oUploader.upload(m_pServer->url(QStringLiteral("/first?x=1")), sampleDocument());
    oUploader.upload(m_pServer->url(QStringLiteral("/second")), QJsonDocument(QJsonObject{{"n", 2}}));
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->heldCount(), 2, kWaitMs);

    // The document goes as one compact JSON text in UTF-8, not as a multipart body.
    const int nFirst = m_pServer->requests()[0].path() == QLatin1String("first") ? 0 : 1;
    const TRecordedHttpRequest oRequest = m_pServer->requests()[nFirst];
    QCOMPARE(oRequest.m_aMethod, QByteArray("POST"));
    QCOMPARE(oRequest.m_aTarget, QByteArray("/first?x=1"));
    QVERIFY2(oRequest.m_aHeaders.contains("Content-Type: application/json\r\n"), oRequest.m_aHeaders.constData());
    QVERIFY(oRequest.m_aHeaders.contains("Content-Disposition: form-data; name=\"metadata\"\r\n"));
    QCOMPARE(oRequest.m_aBody, sampleDocument().toJson(QJsonDocument::Compact));

    // The later request is answered first: each answer arrives with its own data.
    m_pServer->answerHeld(1 - nFirst);
    QTRY_COMPARE_WITH_TIMEOUT(oFinished.size(), 1, kWaitMs);
    QVERIFY(!oFinished[0][0].toBool());
    QCOMPARE(oUploader.lastErrorMessage(), QStringLiteral("second"));
    m_pServer->answerHeld(0);
    QTRY_COMPARE_WITH_TIMEOUT(oFinished.size(), 2, kWaitMs);
    QVERIFY(oFinished[1][0].toBool());
    QCOMPARE(oFinished[1][1].value<QJsonDocument>().toJson(QJsonDocument::Compact), QByteArray(R"({"which":"first"})"));
    // The success after a refusal clears the refusal's error.
    QCOMPARE(oUploader.lastErrorCode(), 0);
    QCOMPARE(oUploader.lastErrorMessage(), QString());

    // A late answer still reaches the sender, and must not reach the uploader
    // that is gone (the sanitizer build sees any use of it).
    auto pSender = std::make_shared<TJsonDocumentHttpPostSender>();
    auto pUploader = std::make_unique<TJsonDocumentUploaderBase>(pSender);
    pUploader->upload(m_pServer->url(QStringLiteral("/first")), sampleDocument());
    QTRY_COMPARE_WITH_TIMEOUT(m_pServer->heldCount(), 1, kWaitMs);
    pUploader.reset();
    QSignalSpy oSent(pSender.get(), &TJsonDocumentHttpPostSender::finished);
    m_pServer->answerHeld(0);
    QVERIFY(oSent.wait(kWaitMs));
}

QTEST_GUILESS_MAIN(tst_JsonDocumentUploaderBase)
#include "tst_jsondocumentuploaderbase.moc"
