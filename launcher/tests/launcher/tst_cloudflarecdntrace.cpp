#include "nginxserver.h"
#include "testfiles.h"
#include "testpool.h"

#include "launcher/cdntracefields.h"
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
    void parse_data();
    void parse();
    void fetchedOnceOnly();
    void unusableAddressFailsOnce_data();
    void unusableAddressFailsOnce();
    void otherDownloadsOfThePoolAreIgnored();

private:
    QString serve(const QByteArray& aContent);

    QTemporaryDir m_oRoot;
    TNginxServer m_oServer;
    int m_nFiles = 0;
};

void tst_CloudflareCdnTrace::initTestCase()
{
    qRegisterMetaType<QNetworkReply::NetworkError>();
    QVERIFY2(m_oServer.start(m_oRoot.path()), qPrintable(m_oServer.errorString()));
}

// A fresh path per case, so no case can see another's answer.
QString tst_CloudflareCdnTrace::serve(const QByteArray& aContent)
{
    const QString sPath = QStringLiteral("/trace%1.txt").arg(++m_nFiles);
    if (!writeTestFile(m_oRoot.path() + sPath, aContent))
        qFatal("cannot write %s", qPrintable(sPath));
    return sPath;
}

void tst_CloudflareCdnTrace::parse_data()
{
    QTest::addColumn<QByteArray>("aTrace");
    QTest::addColumn<QStringList>("lFields");
    QTest::newRow("keys in any case, among others, values trimmed")
        << QByteArray("Fl=12f34\nuag=test\nIP= 192.0.2.7 \t\nts=1.5\r\nCOLO=FRA\r\n")
        << QStringList{"12f34", "1.5", "FRA", "192.0.2.7"};
    QTest::newRow("untrimmed key, two values, empty parts") << QByteArray("ip =1\n fl=1\nts=a=b\ncolo==X\n")
                                                          << QStringList{"", "", "X", ""};
    QTest::newRow("later line wins, UTF-8") << QByteArray("colo=A\ncolo=Z\xc3\xbcrich\n")
                                            << QStringList{"", "", QString::fromUtf8("Z\xc3\xbcrich"), ""};
}

void tst_CloudflareCdnTrace::parse()
{
    QFETCH(QByteArray, aTrace);
    const velmar::launcher::TCdnTraceFields oFields = velmar::launcher::parseCdnTrace(aTrace);
    QTEST((QStringList{oFields.sFl, oFields.sTs, oFields.sColo, oFields.sIp}), "lFields");
}

void tst_CloudflareCdnTrace::fetchedOnceOnly()
{
    auto pPool = newTestPool();
    TCloudflareCdnTrace oTrace(m_oServer.url(serve("fl=1\nip=2\n")), pPool);
    QSignalSpy oReceived(&oTrace, &TCloudflareCdnTrace::diagnosticsTraceReceived);
    QCOMPARE(oTrace.summary(), QStringLiteral("FL: , TS: , COLO: , IP: "));
    oTrace.requestTrace();
    // A second dialog while the first fetch runs does not start another.
    oTrace.requestTrace();
    QCOMPARE(pPool->outstandingDownloads(), 1);
    QVERIFY(oReceived.wait(kWaitMs));
    oTrace.requestTrace();
    QCOMPARE(pPool->outstandingDownloads(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(oReceived.size(), 1);
    QCOMPARE(oTrace.summary(), QStringLiteral("FL: 1, TS: , COLO: , IP: 2"));
}

void tst_CloudflareCdnTrace::unusableAddressFailsOnce_data()
{
    QTest::addColumn<QUrl>("oAddress");
    // Failed for the rest of the run: no retry.
    QTest::newRow("not found") << m_oServer.url(QStringLiteral("/no-such-trace"));
    QTest::newRow("empty") << QUrl();
    // Valid as a URL but not fetchable: the pool refuses it.
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
    QCOMPARE(pPool->outstandingDownloads(), 0);
    oTrace.requestTrace();
    QCOMPARE(pPool->outstandingDownloads(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(oReceived.size(), 1);
}

void tst_CloudflareCdnTrace::otherDownloadsOfThePoolAreIgnored()
{
    auto pPool = newTestPool();
    const QUrl oTraceUrl = m_oServer.url(serve("colo=OWN\n"));
    TCloudflareCdnTrace oTrace(oTraceUrl, pPool);
    QSignalSpy oReceived(&oTrace, &TCloudflareCdnTrace::diagnosticsTraceReceived);
    QSignalSpy oPoolSuccess(pPool.get(), &shared::TDownloadPool::success);
    QSignalSpy oPoolFailed(pPool.get(), &shared::TDownloadPool::failed);

    // Before the trace is asked for, neither other files nor the trace address
    // fetched by someone else count.
    pPool->download(m_oServer.url(serve("colo=OTHER\n")));
    pPool->download(m_oServer.url(QStringLiteral("/missing")));
    pPool->download(oTraceUrl);
    QTRY_COMPARE_WITH_TIMEOUT(oPoolSuccess.size() + oPoolFailed.size(), 3, kWaitMs);
    QCOMPARE(oReceived.size(), 0);
    QVERIFY(!oTrace.isReceived() && !oTrace.isFailed());

    oTrace.requestTrace();
    pPool->download(m_oServer.url(QStringLiteral("/missing-too")));
    QVERIFY(oReceived.wait(kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(oPoolSuccess.size() + oPoolFailed.size(), 5, kWaitMs);
    QCOMPARE(oReceived.size(), 1);
    QCOMPARE(oReceived[0][0].toBool(), false);
    QCOMPARE(oTrace.summary(), QStringLiteral("FL: , TS: , COLO: OWN, IP: "));
}

QTEST_GUILESS_MAIN(tst_CloudflareCdnTrace)
#include "tst_cloudflarecdntrace.moc"
