#include "nginxserver.h"
#include "noisebytes.h"
#include "testfiles.h"
#include "testhttpserver.h"
#include "testpool.h"

#include "shared/httpreply.h"
#include "shared/httpresponseparser.h"
#include "shared/qnetworkreplywrapper.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <tuple>

using namespace shared;

Q_DECLARE_METATYPE(EHttpFault)

namespace {

// A server on this thread that sends scripted bytes for a path, as they are, and
// counts its connections: for answers no well-behaved server gives.
class TRawHttpServer : public QObject
{
public:
    TRawHttpServer()
    {
        connect(&m_oServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* pSocket = m_oServer.nextPendingConnection()) {
                ++m_nConnections;
                pSocket->setParent(this);
                connect(pSocket, &QTcpSocket::readyRead, this, [this, pSocket] { answer(pSocket); });
                connect(pSocket, &QTcpSocket::disconnected, pSocket, &QObject::deleteLater);
            }
        });
        m_oServer.listen(QHostAddress::LocalHost, 0);
    }

    QUrl url(const QString& sPath) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_oServer.serverPort()).arg(sPath)); }
    // The answer to GET sPath; the connection is closed after it when bClose.
    void setAnswer(const QByteArray& aPath, const QByteArray& aAnswer, bool bClose = false) { m_hAnswers.insert(aPath, {aAnswer, bClose}); }

    int m_nConnections = 0;
    int m_nRequests = 0;
    // This many requests that come on a connection which served one already are
    // dropped unanswered, as a server does that closes an idle connection.
    int m_nDropOnReused = 0;

private:
    void answer(QTcpSocket* pSocket)
    {
        QByteArray aInput = pSocket->property("input").toByteArray() + pSocket->readAll();
        int nEnd = 0;
        while ((nEnd = aInput.indexOf("\r\n\r\n")) >= 0) {
            QByteArray aPath = aInput.left(aInput.indexOf("\r\n")).split(' ').value(1);
            aPath.truncate(aPath.indexOf('?') < 0 ? aPath.size() : aPath.indexOf('?'));
            aInput.remove(0, nEnd + 4);
            ++m_nRequests;
            const int nServed = pSocket->property("served").toInt();
            if (nServed > 0 && m_nDropOnReused > 0) {
                --m_nDropOnReused;
                pSocket->disconnectFromHost();
                return;
            }
            const auto oAnswer = m_hAnswers.value(aPath, {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false});
            pSocket->write(oAnswer.first);
            pSocket->setProperty("served", nServed + 1);
            if (oAnswer.second) {
                pSocket->disconnectFromHost();
                return;
            }
        }
        pSocket->setProperty("input", aInput);
    }

    QTcpServer m_oServer;
    QHash<QByteArray, QPair<QByteArray, bool>> m_hAnswers;
};

// What a reply tells, as the download pool reads it.
struct TOutcome
{
    int m_nError = -1;
    QString m_sError;
    int m_nStatus = 0;
    QByteArray m_aBody;
    qint64 m_nAnnounced = -1;
    int m_nFinished = 0;
    QVariant m_vReason;
    // Names in lower case: the order and letter case of names are the reply's own.
    QMap<QByteArray, QByteArray> m_hHead;

    auto tied() const { return std::tie(m_nError, m_sError, m_nStatus, m_aBody, m_nAnnounced, m_nFinished, m_vReason, m_hHead); }
    bool operator==(const TOutcome& o) const { return tied() == o.tied(); }
};

char* toString(const TOutcome& o)
{
    QByteArray aHead;
    for (auto it = o.m_hHead.begin(); it != o.m_hHead.end(); ++it)
        aHead += it.key() + ": " + it.value() + "; ";
    return qstrdup(QStringLiteral("error %1 \"%2\", status %3 \"%4\", %5 bytes \"%6\", announced %7, finished %8 times, head %9")
                       .arg(o.m_nError).arg(o.m_sError).arg(o.m_nStatus).arg(o.m_vReason.toString()).arg(o.m_aBody.size())
                       .arg(QString::fromLatin1(o.m_aBody.left(40))).arg(o.m_nAnnounced).arg(o.m_nFinished)
                       .arg(QString::fromLatin1(aHead)).toUtf8().constData());
}

// lNames: read those fields through the wrapper too, for a reply that keeps its
// head to itself. bBodyAtEnd: the body is read through the wrapper, all of it
// once the reply is done, as the download pool reads it; else as it comes.
TOutcome outcomeOf(QNetworkReply* pReply, const QList<QByteArray>& lNames = {}, bool bBodyAtEnd = false)
{
    TOutcome oOutcome;
    if (!bBodyAtEnd)
        QObject::connect(pReply, &QNetworkReply::readyRead, pReply, [&] { oOutcome.m_aBody += pReply->readAll(); });
    QObject::connect(pReply, &QNetworkReply::finished, pReply, [&] { ++oOutcome.m_nFinished; });
    QSignalSpy oFinished(pReply, &QNetworkReply::finished);
    if (!pReply->isFinished())
        oFinished.wait(20000);
    // Late signals would show as a second finish.
    QCoreApplication::processEvents();
    auto* pWrapper = new QNetworkReplyWrapper(pReply);
    oOutcome.m_aBody += pWrapper->readAll();
    oOutcome.m_nError = pReply->error();
    oOutcome.m_sError = pReply->errorString();
    oOutcome.m_nStatus = pWrapper->statusCode();
    oOutcome.m_nAnnounced = pWrapper->announcedSize();
    oOutcome.m_vReason = pReply->attribute(QNetworkRequest::HttpReasonPhraseAttribute);
    for (const auto& oField : pReply->rawHeaderPairs())
        oOutcome.m_hHead.insert(oField.first.toLower(), oField.second);
    for (const QByteArray& aName : lNames) {
        if (!pWrapper->rawHeader(aName).isNull())
            oOutcome.m_hHead.insert(aName, pWrapper->rawHeader(aName));
    }
    pReply->disconnect();
    pReply->deleteLater();
    return oOutcome;
}

QNetworkRequest requestFor(const QUrl& oUrl, int nTimeout = 0)
{
    QNetworkRequest oRequest(oUrl);
    oRequest.setTransferTimeout(nTimeout);
    return oRequest;
}

} // namespace

class tst_HttpReply : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void parsesAnswers_data();
    void parsesAnswers();
    void answersAsTheNetworkLayer_data();
    void answersAsTheNetworkLayer();
    void serverFaultsAsTheNetworkLayer_data();
    void serverFaultsAsTheNetworkLayer();
    void brokenAnswers_data();
    void brokenAnswers();
    void rangeFromNginx();
    void keepsConnectionsAlive();
    void connectionReusedOnlyWhenSound_data();
    void connectionReusedOnlyWhenSound();
    void readBufferHoldsBackTheServer_data();
    void readBufferHoldsBackTheServer();

private:
    QNetworkAccessManager m_oManager;
    TRawHttpServer m_oRaw;
    QTemporaryDir m_oRoot;
    TNginxServer m_oNginx;
    QByteArray m_aLarge;
};

void tst_HttpReply::initTestCase()
{
    m_oManager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_aLarge = noiseBytes(3 << 20, 11);
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("large.bin")), m_aLarge));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("small.txt")), "0123456789"));
    QVERIFY2(m_oNginx.start(m_oRoot.path()), qPrintable(m_oNginx.errorString()));
}

void tst_HttpReply::parsesAnswers_data()
{
    QTest::addColumn<QByteArray>("aAnswer");
    QTest::addColumn<int>("nState");
    QTest::addColumn<QByteArray>("aBody");
    QTest::addColumn<bool>("bKeepAlive");

    const int nDone = int(THttpResponseParser::EState::Done);
    const int nFailed = int(THttpResponseParser::EState::Failed);
    QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc") << nDone << QByteArray("abc") << true;
    QTest::newRow("chunked with extension and trailer")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\nA\r\n0123456789\r\n0\r\nT: 1\r\n\r\n")
        << nDone << QByteArray("abc0123456789") << true;
    QTest::newRow("bare line feeds") << QByteArray("HTTP/1.1 200 OK\nContent-Length: 2\n\nab") << nDone << QByteArray("ab") << true;
    // The first empty line ends the head, whatever the lines before it end with.
    QTest::newRow("mixed line feeds") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\n\n\nab") << nDone
                                      << QByteArray("\n\nab") << true;
    QTest::newRow("interim answer skipped")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx") << nDone << QByteArray("x") << true;
    QTest::newRow("1.0 closes") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx") << nDone << QByteArray("x") << false;
    QTest::newRow("close asked") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx") << nDone << QByteArray("x") << false;
    QTest::newRow("no body on 304") << QByteArray("HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n") << nDone << QByteArray() << true;
    QTest::newRow("conflicting lengths")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nxx") << nFailed << QByteArray() << true;
    QTest::newRow("negative length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n") << nFailed << QByteArray() << true;
    QTest::newRow("no status line") << QByteArray("<html>hello</html>\r\n\r\n") << nFailed << QByteArray() << false;
    QTest::newRow("folded field") << QByteArray("HTTP/1.1 200 OK\r\nA: b\r\n c\r\n\r\n") << nFailed << QByteArray() << false;
    QTest::newRow("bad chunk size")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << nFailed << QByteArray() << true;
    QTest::newRow("chunk longer than its size")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nabc\r\n0\r\n\r\n") << nFailed << QByteArray("a") << true;
    QTest::newRow("huge chunk size")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n") << nFailed << QByteArray() << true;
    QTest::newRow("head too large") << QByteArray("HTTP/1.1 200 OK\r\nA: " + QByteArray(70000, 'a')) << nFailed << QByteArray() << false;
    QByteArray aManyFields = "HTTP/1.1 200 OK\r\n";
    for (int n = 0; n < 200; ++n)
        aManyFields += "F" + QByteArray::number(n) + ": v\r\n";
    QTest::newRow("too many fields") << aManyFields + "\r\n" << nFailed << QByteArray() << false;
}

void tst_HttpReply::parsesAnswers()
{
    QFETCH(QByteArray, aAnswer);
    QFETCH(int, nState);
    QFETCH(QByteArray, aBody);
    QFETCH(bool, bKeepAlive);

    // Byte by byte and at once: where the reads split an answer must not matter.
    for (const int nStep : {1, aAnswer.size()}) {
        THttpResponseParser oParser;
        QByteArray aInput;
        QByteArray aDecoded;
        for (int nAt = 0; nAt < aAnswer.size() && oParser.state() != THttpResponseParser::EState::Failed; nAt += nStep) {
            aInput += aAnswer.mid(nAt, nStep);
            oParser.feed(aInput, aDecoded);
        }
        QCOMPARE(int(oParser.state()), nState);
        QCOMPARE(aDecoded, aBody);
        if (nState == int(THttpResponseParser::EState::Done)) {
            QCOMPARE(oParser.keepsAlive(), bKeepAlive);
            QVERIFY(aInput.isEmpty());
        }
    }
}

void tst_HttpReply::answersAsTheNetworkLayer_data()
{
    QTest::addColumn<QByteArray>("aPath");
    QTest::addColumn<QByteArray>("aAnswer");
    QTest::addColumn<bool>("bClose");

    QTest::newRow("length") << QByteArray("/length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << false;
    // An encoded body announces no size a reader could hold it to.
    QTest::newRow("encoded") << QByteArray("/encoded")
                             << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: br\r\nContent-Length: 5\r\n\r\nhello") << false;
    QTest::newRow("repeated and empty fields")
        << QByteArray("/fields")
        << QByteArray("HTTP/1.1 200 Fine by me\r\nX-A: 1\r\nSet-Cookie: a=1\r\nContent-Length: 2\r\nx-a:  2 \r\n"
                      "set-cookie: b=2\r\nX-Empty:\r\n\r\nok")
        << false;
    // The network layer sends the path with its dot segments resolved.
    QTest::newRow("dot segments") << QByteArray("/x/../length") << QByteArray() << true;
    QTest::newRow("chunked") << QByteArray("/chunked")
                             << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n")
                             << false;
    QTest::newRow("until close") << QByteArray("/close") << QByteArray("HTTP/1.0 200 OK\r\n\r\nhello") << true;
    QTest::newRow("interim") << QByteArray("/interim")
                             << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") << false;
    QTest::newRow("not found") << QByteArray("/missing") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope") << false;
    QTest::newRow("forbidden") << QByteArray("/forbidden") << QByteArray("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n") << false;
    QTest::newRow("server error") << QByteArray("/error")
                                  << QByteArray("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 3\r\n\r\nbad") << false;
    QTest::newRow("cut short") << QByteArray("/short") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello") << true;
    QTest::newRow("closed before the head") << QByteArray("/nothing") << QByteArray() << true;
    QTest::newRow("redirect") << QByteArray("/moved")
                              << QByteArray("HTTP/1.1 302 Found\r\nLocation: /length\r\nContent-Length: 0\r\n\r\n") << false;
    QTest::newRow("refused") << QByteArray() << QByteArray() << false;
}

void tst_HttpReply::answersAsTheNetworkLayer()
{
    QFETCH(QByteArray, aPath);
    QFETCH(QByteArray, aAnswer);
    QFETCH(bool, bClose);
    const bool bRedirect = aAnswer.startsWith("HTTP/1.1 3");

    m_oRaw.setAnswer("/length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    m_oRaw.setAnswer(aPath, aAnswer, bClose);
    const QUrl oUrl = aPath.isEmpty() ? QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(freeLoopbackPort()))
                                      : m_oRaw.url(QString::fromLatin1(aPath));
    QVERIFY(THttpReply::takes(QNetworkRequest(oUrl), &m_oManager));
    // A followed redirect is the network layer's own, and its reply keeps the
    // redirect's fields beside the final answer's or not, by the order in which
    // its thread's signals come: there the head is not compared.
    const auto comparable = [&](TOutcome oOutcome) {
        if (bRedirect) {
            oOutcome.m_hHead.clear();
            oOutcome.m_nAnnounced = -1;
        }
        return oOutcome;
    };
    const TOutcome oTheirs = outcomeOf(m_oManager.get(requestFor(oUrl)));
    const TOutcome oOurs = outcomeOf(new THttpReply(requestFor(oUrl), &m_oManager));
    QCOMPARE(comparable(oOurs), comparable(oTheirs));
    QCOMPARE(oOurs.m_nFinished, 1);
    // Kept in the reply, the head reads the same through the wrapper.
    auto* pKept = new THttpReply(requestFor(oUrl), &m_oManager, THttpReply::EHeadFields::OnRequest);
    QCOMPARE(comparable(outcomeOf(pKept, oTheirs.m_hHead.keys(), true)), comparable(oTheirs));
}

void tst_HttpReply::serverFaultsAsTheNetworkLayer_data()
{
    QTest::addColumn<QString>("sFile");
    QTest::addColumn<EHttpFault>("eFault");
    QTest::addColumn<int>("nTimeout");

    const QString sLarge = QStringLiteral("large.bin");
    QTest::newRow("whole") << sLarge << EHttpFault::None << 0;
    QTest::newRow("reset midway") << sLarge << EHttpFault::ResetMidway << 0;
    QTest::newRow("truncated") << sLarge << EHttpFault::Truncate << 0;
    QTest::newRow("stall until the time-out") << sLarge << EHttpFault::Stall << 300;
    // Ten bytes 200 ms apart: twice the time-out in all, but never silent for long.
    QTest::newRow("drip outlasting the time-out") << QStringLiteral("small.txt") << EHttpFault::Drip << 1000;
}

void tst_HttpReply::serverFaultsAsTheNetworkLayer()
{
    QFETCH(QString, sFile);
    QFETCH(EHttpFault, eFault);
    QFETCH(int, nTimeout);

    TTestHttpServer oServer;
    QVERIFY(oServer.start(m_oRoot.path()));
    oServer.setFaultForPrefix(sFile, eFault);
    const QUrl oUrl = oServer.url(sFile);
    const TOutcome oOurs = outcomeOf(new THttpReply(requestFor(oUrl, nTimeout), &m_oManager));
    if (eFault == EHttpFault::ResetMidway || eFault == EHttpFault::Truncate) {
        // The network layer may take a reset or an early close for the end of
        // the answer, or not, as the reads fall; this reply always tells it.
        QCOMPARE(oOurs.m_nError, int(QNetworkReply::RemoteHostClosedError));
        QCOMPARE(oOurs.m_aBody, m_aLarge.left(m_aLarge.size() / 2));
        return;
    }
    const TOutcome oTheirs = outcomeOf(m_oManager.get(requestFor(oUrl, nTimeout)));
    QCOMPARE(oOurs, oTheirs);
    if (eFault == EHttpFault::Stall)
        QCOMPARE(oOurs.m_nError, int(QNetworkReply::OperationCanceledError));
    if (eFault == EHttpFault::Drip)
        QCOMPARE(oOurs.m_aBody, QByteArray("0123456789"));
}

void tst_HttpReply::brokenAnswers_data()
{
    QTest::addColumn<QByteArray>("aAnswer");
    QTest::addColumn<int>("nError");

    const int nCorrupt = QNetworkReply::ProtocolFailure;
    QTest::newRow("bad chunk") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n") << nCorrupt;
    // Taken as announced, as the network layer takes it; the stray bytes must not
    // become the next request's answer (the connection is reused in the next row).
    QTest::newRow("longer than announced") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA")
                                           << int(QNetworkReply::NoError);
}

void tst_HttpReply::brokenAnswers()
{
    QFETCH(QByteArray, aAnswer);
    QFETCH(int, nError);

    m_oRaw.setAnswer("/malformed", aAnswer);
    const TOutcome oOurs = outcomeOf(new THttpReply(requestFor(m_oRaw.url(QStringLiteral("/malformed"))), &m_oManager));
    QCOMPARE(oOurs.m_nError, nError);
    QCOMPARE(oOurs.m_nFinished, 1);
    if (nError == QNetworkReply::NoError) {
        QCOMPARE(oOurs.m_aBody, QByteArray("ok"));
        m_oRaw.setAnswer("/next", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext");
        QCOMPARE(outcomeOf(new THttpReply(requestFor(m_oRaw.url(QStringLiteral("/next"))), &m_oManager)).m_aBody,
                 QByteArray("next"));
    }
}

void tst_HttpReply::rangeFromNginx()
{
    QNetworkRequest oRequest(m_oNginx.url(QStringLiteral("/small.txt")));
    oRequest.setRawHeader("Range", "bytes=4-");
    const TOutcome oTheirs = outcomeOf(m_oManager.get(oRequest));
    auto* pReply = new THttpReply(oRequest, &m_oManager);
    QByteArray aContentRange;
    connect(pReply, &QNetworkReply::metaDataChanged, pReply, [&] { aContentRange = pReply->rawHeader("content-range"); });
    const TOutcome oOurs = outcomeOf(pReply);
    QCOMPARE(aContentRange, QByteArray("bytes 4-9/10"));
    QCOMPARE(oOurs, oTheirs);
    QCOMPARE(oOurs.m_nStatus, 206);
    QCOMPARE(oOurs.m_aBody, QByteArray("456789"));
}

void tst_HttpReply::keepsConnectionsAlive()
{
    // Many small answers through the download pool, as an install fetches chunks.
    TRawHttpServer oServer;
    oServer.setAnswer("/chunk", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    TDownloadPool oPool(4, newTestNetworkManager());
    int nSucceeded = 0;
    connect(&oPool, &TDownloadPool::success, this, [&](const QUrl& oUrl, const QByteArray& aData) {
        nSucceeded += aData == "hello";
        oPool.release(oUrl);
    });
    for (int n = 0; n < 200; ++n)
        oPool.download(oServer.url(QStringLiteral("/chunk?%1").arg(n)));
    QTRY_COMPARE_WITH_TIMEOUT(nSucceeded, 200, 60000);
    QCOMPARE(oServer.m_nRequests, 200);
    QVERIFY2(oServer.m_nConnections <= 4, qPrintable(QString::number(oServer.m_nConnections)));
}

void tst_HttpReply::connectionReusedOnlyWhenSound_data()
{
    QTest::addColumn<QString>("sFirst");

    // The kept connection is taken for the next request and dropped by the server unanswered.
    QTest::newRow("stale kept connection retried") << "stale";
    QTest::newRow("aborted") << "aborted";
    QTest::newRow("deleted") << "deleted";
}

void tst_HttpReply::connectionReusedOnlyWhenSound()
{
    QFETCH(QString, sFirst);

    TRawHttpServer oServer;
    // Half a body, and the connection stays open.
    oServer.setAnswer("/half", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello");
    oServer.setAnswer("/whole", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nwhole");
    QNetworkAccessManager oManager;
    if (sFirst == QLatin1String("stale")) {
        QCOMPARE(outcomeOf(new THttpReply(requestFor(oServer.url(QStringLiteral("/whole"))), &oManager)).m_aBody, QByteArray("whole"));
        oServer.m_nDropOnReused = 1;
    } else {
        auto* pReply = new THttpReply(requestFor(oServer.url(QStringLiteral("/half"))), &oManager);
        if (sFirst == QLatin1String("deleted")) {
            QSignalSpy oDestroyed(pReply, &QObject::destroyed);
            connect(pReply, &QNetworkReply::readyRead, pReply, &QObject::deleteLater);
            QVERIFY(oDestroyed.wait(20000));
        } else {
            connect(pReply, &QNetworkReply::readyRead, pReply, &QNetworkReply::abort);
            QCOMPARE(outcomeOf(pReply).m_nError, int(QNetworkReply::OperationCanceledError));
        }
    }
    const TOutcome oNext = outcomeOf(new THttpReply(requestFor(oServer.url(QStringLiteral("/whole"))), &oManager));
    QCOMPARE(oNext.m_nError, int(QNetworkReply::NoError));
    QCOMPARE(oNext.m_aBody, QByteArray("whole"));
    QCOMPARE(oServer.m_nRequests, sFirst == QLatin1String("stale") ? 3 : 2);
    QCOMPARE(oServer.m_nConnections, 2);
}

void tst_HttpReply::readBufferHoldsBackTheServer_data()
{
    QTest::addColumn<bool>("bClosingServer");

    QTest::newRow("kept connection") << false;
    // The close is seen while the rest of the body still waits in the socket.
    QTest::newRow("server closes after sending") << true;
}

void tst_HttpReply::readBufferHoldsBackTheServer()
{
    QFETCH(bool, bClosingServer);

    constexpr qint64 kBuffer = 32 * 1024;
    TTestHttpServer oServer;
    QVERIFY(oServer.start(m_oRoot.path()));
    const QUrl oUrl = bClosingServer ? oServer.url(QStringLiteral("large.bin")) : m_oNginx.url(QStringLiteral("/large.bin"));
    auto* pReply = new THttpReply(requestFor(oUrl), &m_oManager);
    pReply->setReadBufferSize(kBuffer);
    QByteArray aBody;
    qint64 nMostHeld = 0;
    // A slow reader: a little, later, each time data comes.
    connect(pReply, &QNetworkReply::readyRead, pReply, [&] {
        nMostHeld = qMax(nMostHeld, pReply->bytesAvailable());
        QTimer::singleShot(0, pReply, [&] { aBody += pReply->read(kBuffer / 2); });
    });
    QSignalSpy oFinished(pReply, &QNetworkReply::finished);
    QVERIFY(oFinished.wait(60000));
    aBody += pReply->readAll();
    QCOMPARE(pReply->error(), QNetworkReply::NoError);
    QVERIFY2(nMostHeld <= kBuffer, qPrintable(QString::number(nMostHeld)));
    QCOMPARE(aBody.size(), m_aLarge.size());
    QVERIFY(aBody == m_aLarge);
    delete pReply;
}

QTEST_GUILESS_MAIN(tst_HttpReply)
#include "tst_httpreply.moc"
