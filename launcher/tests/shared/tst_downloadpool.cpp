#include "nginxserver.h"
#include "noisebytes.h"
#include "testfiles.h"
#include "testhttpserver.h"
#include "testpool.h"

#include "shared/bandwidthlimiter.h"
#include "shared/downloadhandle.h"
#include "shared/downloadpool.h"
#include "shared/nocacheparameter.h"
#include "shared/qnetworkreplywrapper.h"

#include <QFile>
#include <QNetworkDiskCache>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <sys/stat.h>

using namespace shared;

Q_DECLARE_METATYPE(EHttpFault)

namespace {

// Every outcome the pool reports, in order, as "ok <path>" or "fail <path> <code>".
class TOutcomeRecorder
{
public:
    explicit TOutcomeRecorder(TDownloadPool& oPool)
    {
        QObject::connect(&oPool, &TDownloadPool::success, &oPool, [this](const QUrl& oUrl, const QByteArray& aData) {
            lOutcomes << QStringLiteral("ok %1").arg(oUrl.path());
            hData.insert(oUrl.path(), aData);
        });
        QObject::connect(&oPool, &TDownloadPool::failed, &oPool, [this](const QUrl& oUrl, QNetworkReply::NetworkError eCode) {
            lOutcomes << QStringLiteral("fail %1 %2").arg(oUrl.path()).arg(int(eCode));
        });
    }

    QStringList lOutcomes;
    QHash<QString, QByteArray> hData;
};

// A reply that the test drives by hand.
class TScriptedReply : public QNetworkReplyWrapper
{
public:
    explicit TScriptedReply(QUrl oUrl) : QNetworkReplyWrapper(nullptr), m_oUrl(std::move(oUrl)) {}
    QNetworkReply::NetworkError networkError() const override { return m_eError; }
    QString errorString() const override { return QString(); }
    QByteArray readAll() override { return m_aBody.mid(std::exchange(m_nRead, m_aBody.size())); }
    // Like the network layer with a read buffer: no more than a buffer's worth arrives ahead of the reader.
    qint64 bytesAvailable() const override { return std::min<qint64>(m_aBody.size() - m_nRead, m_nReadBuffer); }
    QByteArray read(qint64 nMaximum) override
    {
        const QByteArray aPart = m_aBody.mid(m_nRead, int(std::min(nMaximum, bytesAvailable())));
        m_nRead += aPart.size();
        return aPart;
    }
    void setReadBufferSize(qint64 nBytes) override { m_nReadBuffer = nBytes; }
    qint64 announcedSize() const override { return m_nAnnounced; }
    QUrl url() const override { return m_oUrl; }
    void abort() override
    {
        m_eError = QNetworkReply::OperationCanceledError;
        announceError(m_eError);
        announceFinished();
    }

    QUrl m_oUrl;
    QNetworkReply::NetworkError m_eError = QNetworkReply::NoError;
    QByteArray m_aBody;
    qint64 m_nAnnounced = -1;
    int m_nRead = 0;
    qint64 m_nReadBuffer = LLONG_MAX;
};

// Hands out scripted replies and keeps them, so that none outlives the test.
class TScriptedManager : public QNetworkAccessManagerWrapper
{
public:
    TScriptedManager() : QNetworkAccessManagerWrapper(std::make_shared<QNetworkAccessManager>()) {}
    QNetworkReplyWrapper* get(const QNetworkRequest& oRequest) override
    {
        auto* pReply = new TScriptedReply(oRequest.url());
        pReply->setParent(this);
        m_lReplies << pReply;
        m_lTransferTimeouts << oRequest.transferTimeout();
        return pReply;
    }

    QList<QPointer<TScriptedReply>> m_lReplies;
    QList<int> m_lTransferTimeouts;
};

} // namespace

class tst_DownloadPool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void downloadsDocumentsAndReportsFailures();
    void localFilesOnlyWhenRegular_data();
    void localFilesOnlyWhenRegular();
    void eachUrlOnceAndSlotsHeldUntilReleased();
    void eachRequestIsReportedOnce_data();
    void eachRequestIsReportedOnce();
    void repliesGoWithTheirRequests();
    void redirectFromHttpsToHttpIsRefused();
    void answerShorterThanAnnouncedFails();
    void crawlingTransferIsGivenUp_data();
    void crawlingTransferIsGivenUp();
    void limitIsSharedAndNeverMakesATransferCrawl();
    void handlesHearOnlyTheirOwnRequests();
    void rangesGoOnWhereTheClientStands_data();
    void rangesGoOnWhereTheClientStands();

    void nocacheParameter();

private:
    QTemporaryDir m_oRoot;
    TNginxServer m_oServer;
};

void tst_DownloadPool::initTestCase()
{
    QVERIFY(m_oRoot.isValid());
    for (const char* pName : {"a", "b", "c", "d"})
        QVERIFY(writeTestFile(m_oRoot.filePath(QString::fromLatin1(pName)), QByteArray("content of ") + pName));
    const QString sPasswords = m_oRoot.filePath(QStringLiteral("htpasswd"));
    QVERIFY(writeTestFile(sPasswords, "someone:$apr1$abc$0000000000000000000000\n"));
    const QString sConfig = QStringLiteral(
        "location = /moved { return 301 /b; }\n"
        "location /secret { auth_basic \"closed\"; auth_basic_user_file %1; }\n").arg(sPasswords);
    QVERIFY2(m_oServer.start(m_oRoot.path(), sConfig), qPrintable(m_oServer.errorString()));
}

void tst_DownloadPool::downloadsDocumentsAndReportsFailures()
{
    TDownloadPool oPool(6, newTestNetworkManager());
    TOutcomeRecorder oRecorder(oPool);
    QSignalSpy oProgress(&oPool, &TDownloadPool::progress);

    oPool.download(m_oServer.url(QStringLiteral("/a")));
    oPool.download(m_oServer.url(QStringLiteral("/missing")));
    oPool.download(QUrl(QStringLiteral("http://127.0.0.1:%1/refused").arg(freeLoopbackPort())));
    // A redirect is followed and reported under the requested URL; a request for a
    // password is never answered.
    oPool.download(m_oServer.url(QStringLiteral("/moved")));
    oPool.download(m_oServer.url(QStringLiteral("/secret/a")));
    QCOMPARE(oPool.outstandingDownloads(), 5);
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 5, 20000);

    QVERIFY2(oRecorder.lOutcomes.contains(QStringLiteral("ok /a")), qPrintable(oRecorder.lOutcomes.join(',')));
    QVERIFY(oRecorder.lOutcomes.contains(QStringLiteral("fail /missing %1").arg(QNetworkReply::ContentNotFoundError)));
    QVERIFY(oRecorder.lOutcomes.contains(QStringLiteral("fail /refused %1").arg(QNetworkReply::ConnectionRefusedError)));
    QVERIFY(oRecorder.lOutcomes.contains(QStringLiteral("ok /moved")));
    QVERIFY(oRecorder.lOutcomes.contains(QStringLiteral("fail /secret/a %1").arg(QNetworkReply::AuthenticationRequiredError)));
    QCOMPARE(oRecorder.hData.value(QStringLiteral("/a")), QByteArray("content of a"));
    QCOMPARE(oRecorder.hData.value(QStringLiteral("/moved")), QByteArray("content of b"));
    bool bSawWholeBody = false;
    for (const QList<QVariant>& lProgress : qAsConst(oProgress))
        bSawWholeBody |= lProgress.at(0).toUrl() == m_oServer.url(QStringLiteral("/a")) && lProgress.at(1).toLongLong() == 12;
    QVERIFY2(bSawWholeBody, "progress carries the requested URL and the cumulative byte count");
    QCOMPARE(oPool.activeDownloads(), 0);
    QCOMPARE(oPool.outstandingDownloads(), 0);

    // Addresses that cannot be fetched: reported before the call returns, and never queued.
    oRecorder.lOutcomes.clear();
    oPool.download(QUrl(QStringLiteral("relative/path")));
    oPool.download(QUrl());
    oPool.downloadWithPriority(QUrl(QStringLiteral("relative/first")));
    QCOMPARE(oRecorder.lOutcomes, QStringList({"fail relative/path 302", "fail  302", "fail relative/first 302"}));
    QCOMPARE(oPool.outstandingDownloads(), 0);

    // Without a network access manager every request fails once, queued or not.
    TDownloadPool oNoManager(1, nullptr);
    TOutcomeRecorder oNoManagerRecorder(oNoManager);
    QNetworkDiskCache oCache;
    oNoManager.setCache(&oCache);
    oNoManager.setMaxConcurrentDownloads(0);
    oNoManager.download(m_oServer.url(QStringLiteral("/a")));
    oNoManager.download(m_oServer.url(QStringLiteral("/b")));
    oNoManager.setMaxConcurrentDownloads(1);
    oNoManager.downloadWithPriority(m_oServer.url(QStringLiteral("/c")));
    QCOMPARE(oNoManagerRecorder.lOutcomes, QStringList({"fail /a 99", "fail /b 99", "fail /c 99"}));
    QCOMPARE(oNoManager.outstandingDownloads(), 0);
}

void tst_DownloadPool::localFilesOnlyWhenRegular_data()
{
    QTest::addColumn<QString>("sKind");
    QTest::addColumn<QString>("sOutcome"); // "%1": the file's path
    QTest::newRow("file") << "file" << "ok %1";
    // What was checked as a file may have been swapped since: neither waited
    // on (a named pipe without a writer) nor followed.
    QTest::newRow("named pipe") << "pipe" << "fail %1 202";
    QTest::newRow("link to a file") << "link" << "fail %1 201";
    QTest::newRow("folder") << "folder" << "fail %1 202";
    QTest::newRow("missing") << "missing" << "fail %1 203";
}

void tst_DownloadPool::localFilesOnlyWhenRegular()
{
    QFETCH(QString, sKind);
    QFETCH(QString, sOutcome);
    // A folder name with a space makes a valid address too.
    QTemporaryDir oDir(QDir::tempPath() + QStringLiteral("/with space XXXXXX"));
    const QString sFile = oDir.filePath(QStringLiteral("package.json"));
    QVERIFY(writeTestFile(oDir.filePath(QStringLiteral("target.json")), "{}"));
    if (sKind == QLatin1String("file"))
        QVERIFY(writeTestFile(sFile, "{}"));
    else if (sKind == QLatin1String("pipe"))
        QVERIFY(::mkfifo(QFile::encodeName(sFile).constData(), 0644) == 0);
    else if (sKind == QLatin1String("link"))
        QVERIFY(QFile::link(oDir.filePath(QStringLiteral("target.json")), sFile));
    else if (sKind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(sFile));
    TDownloadPool oPool(6, newTestNetworkManager());
    TOutcomeRecorder oRecorder(oPool);
    oPool.download(QUrl::fromLocalFile(sFile));
    QTRY_COMPARE(oRecorder.lOutcomes.size(), 1);
    QCOMPARE(oRecorder.lOutcomes.first(), sOutcome.arg(QUrl::fromLocalFile(sFile).path()));
    QCOMPARE(oRecorder.hData.value(QUrl::fromLocalFile(sFile).path()), QByteArray(sKind == QLatin1String("file") ? "{}" : ""));
}

void tst_DownloadPool::eachUrlOnceAndSlotsHeldUntilReleased()
{
    // As the installer does: a download keeps its slot until the client releases it.
    TDownloadPool oPool(1, newTestNetworkManager(), nullptr, false);
    TOutcomeRecorder oRecorder(oPool);
    for (const char* pName : {"/a", "/b", "/c", "/d", "/a", "/c"})
        oPool.download(m_oServer.url(QLatin1String(pName)));
    QCOMPARE(oPool.activeDownloads(), 1);
    QCOMPARE(oPool.outstandingDownloads(), 4);
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 1, 20000);
    // Finished but not released, /a keeps the only slot and still counts as running.
    oPool.download(m_oServer.url(QStringLiteral("/a")));
    QCOMPARE(oPool.activeDownloads(), 1);
    QCOMPARE(oPool.outstandingDownloads(), 4);

    connect(&oPool, &TDownloadPool::success, this, [&](const QUrl& oUrl) { oPool.release(oUrl); });
    oPool.release(m_oServer.url(QStringLiteral("/a")));
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 4, 20000);
    // A second request would be reported before a download asked for only now.
    oPool.download(m_oServer.url(QStringLiteral("/a")));
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 5, 20000);
    // Asked for again, a queued URL moves to the back.
    QCOMPARE(oRecorder.lOutcomes, QStringList({"ok /a", "ok /b", "ok /d", "ok /c", "ok /a"}));
    QCOMPARE(oPool.outstandingDownloads(), 0);
}

void tst_DownloadPool::eachRequestIsReportedOnce_data()
{
    QTest::addColumn<bool>("bReleaseOnFinish");
    QTest::newRow("release on finish") << true;
    QTest::newRow("released by the client") << false;
}

void tst_DownloadPool::eachRequestIsReportedOnce()
{
    // The client asks again for a URL from inside its failure handler, and this
    // time the document exists: the late signals of the first request must
    // neither be reported again nor be taken for the second request's outcome.
    QFETCH(bool, bReleaseOnFinish);
    const QString sName = QStringLiteral("/late-%1").arg(int(bReleaseOnFinish));
    TDownloadPool oPool(2, newTestNetworkManager(), nullptr, bReleaseOnFinish);
    TOutcomeRecorder oRecorder(oPool);
    connect(&oPool, &TDownloadPool::failed, this, [&](const QUrl& oUrl) {
        if (!bReleaseOnFinish)
            oPool.release(oUrl);
        QFile oFile(m_oRoot.path() + sName);
        if (!oFile.exists() && oFile.open(QIODevice::WriteOnly)) {
            oFile.write("now here");
            oFile.close();
            oPool.download(oUrl);
        }
    });
    oPool.download(m_oServer.url(sName));
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 2, 20000);
    if (!bReleaseOnFinish)
        oPool.release(m_oServer.url(sName));
    // Late signals of either request would come before the outcome of a download asked for only now.
    oPool.download(m_oServer.url(QStringLiteral("/a")));
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 3, 20000);
    if (!bReleaseOnFinish)
        oPool.release(m_oServer.url(QStringLiteral("/a")));
    QCOMPARE(oRecorder.lOutcomes, QStringList({QStringLiteral("fail %1 203").arg(sName), QStringLiteral("ok %1").arg(sName),
                                               QStringLiteral("ok /a")}));
    QCOMPARE(oPool.outstandingDownloads(), 0);
}

void tst_DownloadPool::repliesGoWithTheirRequests()
{
    // A reply is freed once its outcome is reported, not with the manager, which
    // lives as long as the run; and a pool that goes while its requests run
    // hears nothing of them afterwards.
    auto pNetwork = std::make_shared<QNetworkAccessManager>();
    auto pManager = std::make_shared<QNetworkAccessManagerWrapper>(pNetwork);
    const auto lReplies = [&] { return pNetwork->findChildren<QNetworkReply*>(QString(), Qt::FindDirectChildrenOnly); };
    {
        TDownloadPool oPool(2, pManager);
        TOutcomeRecorder oRecorder(oPool);
        for (const char* pName : {"/a", "/b", "/moved", "/missing"})
            oPool.downloadFrom(m_oServer.url(QLatin1String(pName)), 0);
        QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 4, 20000);
        oRecorder.lOutcomes.sort();
        QCOMPARE(oRecorder.lOutcomes, QStringList({"fail /missing 203", "ok /a", "ok /b", "ok /moved"}));
        QTRY_VERIFY_WITH_TIMEOUT(lReplies().isEmpty(), 20000);
    }
    auto pPool = std::make_unique<TDownloadPool>(2, pManager);
    pPool->download(m_oServer.url(QStringLiteral("/c")));
    pPool->download(m_oServer.url(QStringLiteral("/d")));
    QVERIFY(!lReplies().isEmpty());
    pPool.reset();
    const auto bAllFinished = [&] {
        const QList<QNetworkReply*> lRunning = lReplies();
        return std::all_of(lRunning.cbegin(), lRunning.cend(), [](QNetworkReply* p) { return p->isFinished(); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(bAllFinished(), 20000);
}

void tst_DownloadPool::redirectFromHttpsToHttpIsRefused()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt was built without TLS support");
    QTemporaryDir oDir;
    const QString sKey = oDir.filePath(QStringLiteral("key.pem"));
    const QString sCertificate = oDir.filePath(QStringLiteral("certificate.pem"));
    QProcess oOpenSsl;
    oOpenSsl.start(QStringLiteral("openssl"),
                   QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                  "-addext subjectAltName=IP:127.0.0.1 -keyout").split(QLatin1Char(' '))
                       + QStringList{sKey, QStringLiteral("-out"), sCertificate});
    QVERIFY2(oOpenSsl.waitForFinished(60000) && oOpenSsl.exitCode() == 0, oOpenSsl.readAllStandardError().constData());
    const QSslCertificate oCertificate(readTestFile(sCertificate), QSsl::Pem);
    QVERIFY(!oCertificate.isNull());

    // The plain target records the requests it gets; it must get none.
    TTestHttpServer oPlainTarget;
    QVERIFY(oPlainTarget.start());
    const quint16 nTlsPort = freeLoopbackPort();
    TNginxServer oTlsServer;
    QVERIFY2(oTlsServer.start(m_oRoot.path(),
                              QStringLiteral("listen 127.0.0.1:%1 ssl;\nssl_certificate %2;\nssl_certificate_key %3;\n"
                                             "location = /a { return 302 http://127.0.0.1:%4/b; }\n")
                                  .arg(nTlsPort)
                                  .arg(sCertificate, sKey)
                                  .arg(oPlainTarget.port())),
             qPrintable(oTlsServer.errorString()));

    QSslConfiguration oTls = QSslConfiguration::defaultConfiguration();
    const QSslConfiguration oPrevious = oTls;
    oTls.setCaCertificates({oCertificate});
    QSslConfiguration::setDefaultConfiguration(oTls);

    TDownloadPool oPool(6, newTestNetworkManager());
    TOutcomeRecorder oRecorder(oPool);
    oPool.download(QUrl(QStringLiteral("https://127.0.0.1:%1/a").arg(nTlsPort)));
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 1, 20000);
    QSslConfiguration::setDefaultConfiguration(oPrevious);
    QCOMPARE(oRecorder.lOutcomes.first(), QStringLiteral("fail /a %1").arg(QNetworkReply::InsecureRedirectError));
    QVERIFY(oPlainTarget.requests().isEmpty());
}

void tst_DownloadPool::answerShorterThanAnnouncedFails()
{
    // As the network layer may end an answer that a reset cut off.
    const QList<QPair<QString, qint64>> lAnnounced{{"/cut", 16}, {"/whole", 8}, {"/unannounced", -1}};
    const auto pManager = std::make_shared<TScriptedManager>();
    TDownloadPool oPool(3, pManager);
    TOutcomeRecorder oRecorder(oPool);
    for (const auto& [sPath, nAnnounced] : lAnnounced)
        oPool.download(QUrl(QStringLiteral("http://cdn.invalid") + sPath));
    QCOMPARE(pManager->m_lReplies.size(), lAnnounced.size());
    for (int nReply = 0; nReply < lAnnounced.size(); ++nReply) {
        TScriptedReply& oReply = *pManager->m_lReplies[nReply];
        oReply.m_aBody = "{\"half\":";
        oReply.m_nAnnounced = lAnnounced[nReply].second;
        oReply.announceFinished();
    }
    QCOMPARE(oRecorder.lOutcomes, QStringList({QStringLiteral("fail /cut %1").arg(QNetworkReply::RemoteHostClosedError),
                                               QStringLiteral("ok /whole"), QStringLiteral("ok /unannounced")}));
}

void tst_DownloadPool::crawlingTransferIsGivenUp_data()
{
    // Reports "milliseconds:bytes received" of one transfer under a stall time-out of 3 s.
    QTest::addColumn<qint64>("nFloor");
    QTest::addColumn<QString>("sReports");
    QTest::addColumn<int>("nGivenUpAt"); // the report that ends it; -1: none
    // The wait for the first byte is no part of the measure.
    QTest::newRow("one byte a second") << qint64(1024) << "5000:1 6000:2 7000:3 8000:4 9000:5" << 3;
    // The average since the start would still be 25 KB a second.
    QTest::newRow("a burst, then a trickle") << qint64(1024) << "0:1 500:100000 1000:100001 2000:100002 3000:100003 4000:100004"
                                             << 5;
    QTest::newRow("steadily above the floor") << qint64(1024) << "0:1 1000:2100 2000:4200 3000:6300 4000:8400 5000:10500" << -1;
    QTest::newRow("no floor") << qint64(0) << "0:1 1000:2 2000:3 3000:4 4000:5" << -1;
}

void tst_DownloadPool::crawlingTransferIsGivenUp()
{
    QFETCH(qint64, nFloor);
    QFETCH(QString, sReports);
    QFETCH(int, nGivenUpAt);
    const auto pManager = std::make_shared<TScriptedManager>();
    TDownloadPool oPool(1, pManager);
    qint64 nNow = 0;
    oPool.setClock([&nNow] { return nNow; });
    oPool.setStallLimits(3000, nFloor);
    TOutcomeRecorder oRecorder(oPool);
    QSignalSpy oProgress(&oPool, &TDownloadPool::progress);
    oPool.download(QUrl(QStringLiteral("http://cdn.invalid/slow")));
    oPool.download(QUrl(QStringLiteral("http://cdn.invalid/next")));
    QCOMPARE(pManager->m_lReplies.size(), 1);
    // The network layer itself gives up a transfer that goes silent.
    QCOMPARE(pManager->m_lTransferTimeouts.first(), 3000);

    const QStringList lReports = sReports.split(QLatin1Char(' '));
    int nReport = 0;
    for (; nReport < lReports.size() && oRecorder.lOutcomes.isEmpty(); ++nReport) {
        nNow = lReports[nReport].section(QLatin1Char(':'), 0, 0).toLongLong();
        pManager->m_lReplies.first()->announceProgress(lReports[nReport].section(QLatin1Char(':'), 1).toLongLong());
    }
    if (nGivenUpAt < 0) {
        QVERIFY(oRecorder.lOutcomes.isEmpty());
        QCOMPARE(oProgress.size(), lReports.size());
        return;
    }
    // Reported once, as a time-out; the slot goes to the next address.
    QCOMPARE(oRecorder.lOutcomes, QStringList{QStringLiteral("fail /slow %1").arg(QNetworkReply::TimeoutError)});
    QCOMPARE(nReport - 1, nGivenUpAt);
    QCOMPARE(oProgress.size(), nGivenUpAt);
    QCOMPARE(pManager->m_lReplies.first()->networkError(), QNetworkReply::OperationCanceledError);
    QCOMPARE(pManager->m_lReplies.size(), 2);
}

void tst_DownloadPool::limitIsSharedAndNeverMakesATransferCrawl()
{
    // Two pools, as two installations, under one limit of 400 kB/s, with a floor
    // as high as the limit itself: our own limit must not count as crawling.
    const qint64 nRate = 400000;
    qint64 nNow = 0;
    const auto pLimiter = std::make_shared<TBandwidthLimiter>(nRate);
    pLimiter->setClock([&nNow] { return nNow; });
    const auto pManager = std::make_shared<TScriptedManager>();
    std::vector<std::unique_ptr<TDownloadPool>> lPools;
    std::vector<std::unique_ptr<TOutcomeRecorder>> lRecorders;
    for (int nPool = 0; nPool < 2; ++nPool) {
        lPools.push_back(std::make_unique<TDownloadPool>(2, pManager));
        lPools.back()->setClock([&nNow] { return nNow; });
        lPools.back()->setStallLimits(3000, nRate);
        lPools.back()->setBandwidthLimiter(pLimiter);
        lRecorders.push_back(std::make_unique<TOutcomeRecorder>(*lPools.back()));
        for (const char* pName : {"/a", "/b"})
            lPools.back()->download(QUrl(QStringLiteral("http://cdn.invalid/%1%2").arg(nPool).arg(QLatin1String(pName))));
    }
    QCOMPARE(pManager->m_lReplies.size(), 4);
    for (int nReply = 0; nReply < 4; ++nReply)
        pManager->m_lReplies[nReply]->m_aBody = noiseBytes(2000000 + nReply, quint64(nReply));

    // Ten seconds in steps of 50 ms: each reply reports what has arrived, the limiter hands out a round.
    for (nNow = 50; nNow <= 10000; nNow += 50) {
        for (const auto& pReply : pManager->m_lReplies)
            pReply->announceProgress(pReply->m_nRead + pReply->bytesAvailable());
        pLimiter->pump();
    }
    // Ten seconds' worth and the half second's worth an idle limiter starts with, in equal shares.
    const qint64 nAllowed = nRate * 10 + nRate / 2;
    qint64 nRead = 0;
    for (const auto& pReply : pManager->m_lReplies) {
        QVERIFY2(qAbs(pReply->m_nRead - nAllowed / 4) < nRate / 10, qPrintable(QString::number(pReply->m_nRead)));
        nRead += pReply->m_nRead;
    }
    QVERIFY(nRead <= nAllowed);
    for (const auto& pRecorder : lRecorders)
        QVERIFY2(pRecorder->lOutcomes.isEmpty(), qPrintable(pRecorder->lOutcomes.join(QLatin1Char(' '))));

    // The answers end: every byte arrives, read through the limiter or at the end.
    for (const auto& pReply : pManager->m_lReplies)
        pReply->announceFinished();
    for (int nPool = 0; nPool < 2; ++nPool) {
        QCOMPARE(lRecorders[nPool]->lOutcomes.size(), 2);
        for (int nReply = 0; nReply < 2; ++nReply) {
            const QString sPath = QStringLiteral("/%1%2").arg(nPool).arg(QLatin1String(nReply ? "/b" : "/a"));
            QCOMPARE(lRecorders[nPool]->hData.value(sPath), noiseBytes(2000000 + nPool * 2 + nReply, quint64(nPool * 2 + nReply)));
        }
    }
    QCOMPARE(pLimiter->transfers(), 0);
}

void tst_DownloadPool::handlesHearOnlyTheirOwnRequests()
{
    const auto pPool = std::make_shared<TDownloadPool>(6, newTestNetworkManager());
    TDownloadHandle oFirst(pPool);
    TDownloadHandle oSecond(pPool);
    QSignalSpy oFirstSuccess(&oFirst, &TDownloadHandle::success);
    QSignalSpy oFirstFailed(&oFirst, &TDownloadHandle::failed);
    QSignalSpy oSecondSuccess(&oSecond, &TDownloadHandle::success);
    QSignalSpy oSecondFailed(&oSecond, &TDownloadHandle::failed);

    // Both ask for /a: fetched once, heard by both. /b and the refused address
    // are the first's own; /c the first no longer wants.
    oFirst.download(m_oServer.url(QStringLiteral("/a")));
    oSecond.download(m_oServer.url(QStringLiteral("/a")));
    oFirst.download(m_oServer.url(QStringLiteral("/b")));
    oFirst.download(QUrl(QStringLiteral("relative")));
    oFirst.download(m_oServer.url(QStringLiteral("/c")));
    oFirst.forget(m_oServer.url(QStringLiteral("/c")));
    QCOMPARE(pPool->outstandingDownloads(), 3);
    QCOMPARE(oFirstFailed.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(pPool->outstandingDownloads(), 0, 20000);

    QCOMPARE(oFirstSuccess.size(), 2);
    QCOMPARE(oSecondSuccess.size(), 1);
    QCOMPARE(oSecondSuccess.at(0).at(0).toUrl(), m_oServer.url(QStringLiteral("/a")));
    QCOMPARE(oSecondSuccess.at(0).at(1).toByteArray(), QByteArray("content of a"));
    QCOMPARE(oFirstFailed.size(), 1);
    QCOMPARE(oSecondFailed.size(), 0);
    QVERIFY(!oFirst.isPending(m_oServer.url(QStringLiteral("/a"))));

    TDownloadHandle oWithoutPool(nullptr);
    QSignalSpy oWithoutPoolFailed(&oWithoutPool, &TDownloadHandle::failed);
    oWithoutPool.download(m_oServer.url(QStringLiteral("/a")));
    QCOMPARE(oWithoutPoolFailed.size(), 1);
}

// downloadFrom() against the fault server, which answers "Range: bytes=N-" with
// a 206 unless told otherwise; 100,000 bytes asked for from byte 40,000.
void tst_DownloadPool::rangesGoOnWhereTheClientStands_data()
{
    QTest::addColumn<QList<EHttpFault>>("lFaults");
    QTest::addColumn<QString>("sLimit"); // empty: none
    QTest::addColumn<QStringList>("lRanges"); // the Range header of each request, "-" for none
    QTest::addColumn<bool>("bRestarted");
    QTest::addColumn<int>("nFirstByte"); // where the body reported begins; -1: it failed
    QTest::addColumn<int>("nKept");      // the bytes of a broken answer handed back
    const QString sNone = QStringLiteral("-");
    const QString sFrom = QStringLiteral("bytes=40000-");
    for (const QString& sLimit : {QString(), QStringLiteral("limited")}) {
        const auto row = [&](const char* pName) { return &QTest::newRow(qPrintable(QLatin1String(pName) + QLatin1Char(' ') + sLimit)); };
        *row("206") << QList<EHttpFault>() << sLimit << QStringList{sFrom} << false << 40000 << 0;
        *row("range ignored") << QList<EHttpFault>{EHttpFault::IgnoreRange} << sLimit << QStringList{sFrom} << true << 0 << 0;
        *row("206 from elsewhere") << QList<EHttpFault>{EHttpFault::WrongRange} << sLimit << QStringList{sFrom, sNone} << true << 0 << 0;
        *row("416") << QList<EHttpFault>{EHttpFault::RangeNotSatisfiable} << sLimit << QStringList{sFrom, sNone} << true << 0 << 0;
        // Half of the 60,000 bytes asked for, then silence until the network
        // layer's time-out ends the transfer, which drops what it buffered.
        *row("stalled") << QList<EHttpFault>{EHttpFault::Stall} << sLimit << QStringList{sFrom} << false << -1 << 30000;
    }
}

void tst_DownloadPool::rangesGoOnWhereTheClientStands()
{
    QFETCH(QList<EHttpFault>, lFaults);
    QFETCH(QString, sLimit);
    QFETCH(QStringList, lRanges);
    QFETCH(bool, bRestarted);
    QFETCH(int, nFirstByte);
    QFETCH(int, nKept);
    QTemporaryDir oRoot;
    const QByteArray aFile = noiseBytes(100000, 4);
    QVERIFY(writeTestFile(oRoot.filePath(QStringLiteral("chunk")), aFile));
    TTestHttpServer oServer;
    QVERIFY(oServer.start(oRoot.path()));
    oServer.setFaultsForPrefix(QStringLiteral("chunk"), lFaults);
    TDownloadPool oPool(1, newTestNetworkManager());
    oPool.setStallLimits(1000, 0);
    if (!sLimit.isEmpty())
        oPool.setBandwidthLimiter(std::make_shared<TBandwidthLimiter>(50 << 20));
    TOutcomeRecorder oRecorder(oPool);
    QSignalSpy oRestarted(&oPool, &TDownloadPool::restarted);
    QSignalSpy oKept(&oPool, &TDownloadPool::partlyReceived);
    oPool.downloadFrom(oServer.url(QStringLiteral("chunk")), 40000);
    QTRY_COMPARE_WITH_TIMEOUT(oRecorder.lOutcomes.size(), 1, 20000);

    QStringList lAsked;
    for (const TRecordedHttpRequest& oRequest : oServer.requests()) {
        const QByteArray aRange = oRequest.header("Range");
        lAsked << (aRange.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(aRange));
    }
    QCOMPARE(lAsked, lRanges);
    QCOMPARE(oRestarted.size(), bRestarted ? 1 : 0);
    if (nFirstByte < 0) {
        QVERIFY2(oRecorder.lOutcomes.first().startsWith(QLatin1String("fail")), qPrintable(oRecorder.lOutcomes.first()));
        QCOMPARE(oKept.size(), 1);
        QCOMPARE(oKept.first().at(1).toByteArray(), aFile.mid(40000, nKept));
        return;
    }
    QCOMPARE(oRecorder.lOutcomes.first(), QStringLiteral("ok /chunk"));
    QCOMPARE(oRecorder.hData.value(QStringLiteral("/chunk")), aFile.mid(nFirstByte));
    QCOMPARE(oKept.size(), 0);
}

void tst_DownloadPool::nocacheParameter()
{
    // Encoded delimiters in the items already there survive; every call gets a value of its own.
    const QUrl oUrl(QStringLiteral("https://cdn.invalid/p/package.json?a=1%262"));
    const QUrlQuery oQuery(appendNocacheParameter(oUrl));
    QCOMPARE(oQuery.queryItems(QUrl::FullyEncoded).value(0), qMakePair(QStringLiteral("a"), QStringLiteral("1%262")));
    QVERIFY(!oQuery.queryItemValue(QStringLiteral("nocache")).isEmpty());
    QVERIFY(oQuery != QUrlQuery(appendNocacheParameter(oUrl)));
}

QTEST_MAIN(tst_DownloadPool)
#include "tst_downloadpool.moc"
