#include "nginxserver.h"
#include "testfiles.h"
#include "testpool.h"

#include "launcher/cloudflarecdntrace.h"
#include "shared/downloadpool.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using velmar::launcher::TCloudflareCdnTrace;

namespace {
constexpr int kWaitMs = 20000;
}

class tst_CloudflareCdnTrace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetchedOnceAmongOtherDownloads();
    void unusableAddressFailsOnce_data();
    void unusableAddressFailsOnce();

private:
    QTemporaryDir m_oRoot;
    TNginxServer m_oServer;
};

void tst_CloudflareCdnTrace::initTestCase()
{
    qRegisterMetaType<QNetworkReply::NetworkError>();
    QVERIFY2(m_oServer.start(m_oRoot.path()), qPrintable(m_oServer.errorString()));
    // Keys in any case among others, values trimmed, CRLF, the later line winning, UTF-8.
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("trace")),
                          "Fl=12f34\nuag=test\nIP= 192.0.2.7 \t\nts=1.5\r\ncolo=A\nCOLO=Z\xc3\xbcrich\r\n"));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("other")), "colo=OTHER\n"));
}

void tst_CloudflareCdnTrace::fetchedOnceAmongOtherDownloads()
{
    auto pPool = newTestPool();
    const QUrl oTraceUrl = m_oServer.url(QStringLiteral("/trace"));
    TCloudflareCdnTrace oTrace(oTraceUrl, pPool);
    QSignalSpy oReceived(&oTrace, &TCloudflareCdnTrace::diagnosticsTraceReceived);
    QSignalSpy oPoolSuccess(pPool.get(), &shared::TDownloadPool::success);
    QSignalSpy oPoolFailed(pPool.get(), &shared::TDownloadPool::failed);

    // Before the trace is asked for, neither other files nor the trace address
    // fetched by someone else count.
    pPool->download(m_oServer.url(QStringLiteral("/other")));
    pPool->download(m_oServer.url(QStringLiteral("/missing")));
    pPool->download(oTraceUrl);
    QTRY_COMPARE_WITH_TIMEOUT(oPoolSuccess.size() + oPoolFailed.size(), 3, kWaitMs);
    QCOMPARE(oReceived.size(), 0);
    QVERIFY(!oTrace.isReceived() && !oTrace.isFailed());

    // A second dialog while the first fetch runs does not start another, nor a later one.
    oTrace.requestTrace();
    oTrace.requestTrace();
    QCOMPARE(pPool->outstandingDownloads(), 1);
    pPool->download(m_oServer.url(QStringLiteral("/missing-too")));
    QVERIFY(oReceived.wait(kWaitMs));
    oTrace.requestTrace();
    QTRY_COMPARE_WITH_TIMEOUT(oPoolSuccess.size() + oPoolFailed.size(), 5, kWaitMs);
    QCOMPARE(pPool->outstandingDownloads(), 0);
    QCOMPARE(oReceived.size(), 1);
    QCOMPARE(oReceived[0][0].toBool(), false);
    QCOMPARE(oTrace.summary(), QString::fromUtf8("FL: 12f34, TS: 1.5, COLO: Z\xc3\xbcrich, IP: 192.0.2.7"));
}

void tst_CloudflareCdnTrace::unusableAddressFailsOnce_data()
{
    QTest::addColumn<QUrl>("oAddress");
    // Failed for the rest of the run: no retry.
    QTest::newRow("not found") << m_oServer.url(QStringLiteral("/no-such-trace"));
    // Valid as a URL but not fetchable: the pool refuses it. (No address at all is the window test's.)
    QTest::newRow("relative") << QUrl(QStringLiteral("cdn-cgi/trace"));
}

void tst_CloudflareCdnTrace::unusableAddressFailsOnce()
{
    QFETCH(QUrl, oAddress);
    auto pPool = newTestPool();
    TCloudflareCdnTrace oTrace(oAddress, pPool);
    QSignalSpy oReceived(&oTrace, &TCloudflareCdnTrace::diagnosticsTraceReceived);
    oTrace.requestTrace();
    QTRY_COMPARE_WITH_TIMEOUT(oReceived.size(), 1, kWaitMs);
    QCOMPARE(oReceived[0][0].toBool(), true);
    QVERIFY(oTrace.isFailed());
    QVERIFY(!oTrace.isReceived());
    oTrace.requestTrace();
    QCOMPARE(pPool->outstandingDownloads(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(oReceived.size(), 1);
}

QTEST_GUILESS_MAIN(tst_CloudflareCdnTrace)
#include "tst_cloudflarecdntrace.moc"
