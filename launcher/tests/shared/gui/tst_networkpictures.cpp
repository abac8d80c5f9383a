// Pictures named by downloaded documents: fetched through the shared pool for
// one requester only, bounded in time and size, and shown by the hint browser
// once they arrive.

#include "testhttpserver.h"
#include "openedlinks.h"
#include "testpictures.h"
#include "testpool.h"
#include "testfiles.h"

#include "shared/boundeddownloads.h"
#include "shared/downloadpool.h"
#include "shared/gui/qtextbrowserwithnetwork.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

using namespace shared;

class tst_NetworkPictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void boundedDownloadsReportOnlyTheirOwnWithinLimits();
    void browserShowsPlaceholderThenThePictureAndOnlyWebLinks();

private:
    QTemporaryDir m_oRoot;
    TTestHttpServer m_oServer;
};

void tst_NetworkPictures::initTestCase()
{
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("picture.png")), testPng(QSize(64, 32), Qt::red)));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("huge.png")), QByteArray(2 << 20, 'x')));
    QVERIFY(writeTestFile(m_oRoot.filePath(QStringLiteral("stalls.png")), QByteArray(4096, 'x')));
    QVERIFY(m_oServer.start(m_oRoot.path()));
    m_oServer.setFaultForPrefix(QStringLiteral("stalls.png"), EHttpFault::Stall);
}

void tst_NetworkPictures::boundedDownloadsReportOnlyTheirOwnWithinLimits()
{
    const auto pPool = newTestPool();
    TBoundedDownloads oMine(pPool, 1 << 20, 60000);
    TBoundedDownloads oOther(pPool, 1 << 20, 60000);
    QSignalSpy oFinished(&oMine, &TBoundedDownloads::finished);
    QSignalSpy oFailed(&oMine, &TBoundedDownloads::failed);
    QSignalSpy oOtherFinished(&oOther, &TBoundedDownloads::finished);
    QSignalSpy oOtherFailed(&oOther, &TBoundedDownloads::failed);

    const QUrl oPicture = m_oServer.url(QStringLiteral("/picture.png"));
    oMine.fetch(oPicture);
    oMine.fetch(oPicture);
    QVERIFY(oFinished.wait());
    QCOMPARE(oFinished.at(0).at(0).toUrl(), oPicture);
    QVERIFY(!QImage::fromData(oFinished.at(0).at(1).toByteArray()).isNull());

    // Larger than the cap: given up while it arrives, and reported once.
    const QUrl oHuge = m_oServer.url(QStringLiteral("/huge.png"));
    oMine.fetch(oHuge);
    QVERIFY(oFailed.wait());
    QCOMPARE(oFailed.at(0).at(0).toUrl(), oHuge);
    QVERIFY(!oMine.isPending(oHuge));

    // A server that stops answering midway is given up after the deadline.
    TBoundedDownloads oImpatient(pPool, 1 << 20, 300);
    QSignalSpy oTimedOut(&oImpatient, &TBoundedDownloads::failed);
    oImpatient.fetch(m_oServer.url(QStringLiteral("stalls.png")));
    QVERIFY(oTimedOut.wait(10000));

    // An unusable address fails at once.
    oMine.fetch(QUrl(QStringLiteral("picture.png")));
    QCOMPARE(oFailed.size(), 2);

    QCOMPARE(oFinished.size(), 1);
    QCOMPARE(oOtherFinished.size() + oOtherFailed.size(), 0);
}

void tst_NetworkPictures::browserShowsPlaceholderThenThePictureAndOnlyWebLinks()
{
    const auto pPool = newTestPool();
    QTextBrowserWithNetwork oBrowser(pPool);
    QTextBrowserWithNetwork oNeighbour(pPool);
    // Answers wait until the placeholder has been seen.
    m_oServer.setResponse(QStringLiteral("picture.png"), TCannedHttpResponse::withBody(testPng(QSize(64, 32), Qt::red)));
    m_oServer.setResponse(QStringLiteral("text.png"), TCannedHttpResponse::withBody("not a picture"));
    m_oServer.setHoldResponses(true);
    const QUrl oPicture = m_oServer.url(QStringLiteral("picture.png"));
    const QUrl oNotPicture = m_oServer.url(QStringLiteral("text.png"));
    oBrowser.setHtml(QStringLiteral("<p>news</p><img src=\"%1\"/><img src=\"%2\"/><img src=\"file://%3\"/>")
                         .arg(oNotPicture.toString(), oPicture.toString(), m_oRoot.filePath(QStringLiteral("picture.png"))));
    // The document asks for its pictures once it is on screen.
    oBrowser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&oBrowser));

    const QImage oPlaceholder = oBrowser.resourceCache().value(oPicture).value<QImage>();
    QCOMPARE(oPlaceholder.size(), QSize(32, 32));
    QCOMPARE(oPlaceholder.pixelColor(5, 5).alpha(), 0);
    // A local file named by a document stays out of the window.
    QVERIFY(oBrowser.resourceCache().value(QUrl::fromLocalFile(m_oRoot.filePath(QStringLiteral("picture.png")))).isNull());

    QTRY_COMPARE(m_oServer.heldCount(), 2);
    m_oServer.answerHeld(0);
    m_oServer.answerHeld(0);
    QTRY_COMPARE(oBrowser.resourceCache().value(oPicture).value<QImage>().size(), QSize(64, 32));
    QCOMPARE(oBrowser.document()->resource(QTextDocument::ImageResource, oPicture).value<QImage>().size(), QSize(64, 32));
    // Neither the neighbour's cache nor a picture that is not one is filled.
    QVERIFY(oNeighbour.resourceCache().isEmpty());
    QCOMPARE(oBrowser.resourceCache().value(oNotPicture).value<QImage>().size(), QSize(32, 32));

    TOpenedLinks oLinks;
    for (const char* pLink : {"file:///etc/passwd", "javascript:alert(1)", "https://corvane.example/news"})
        emit oBrowser.anchorClicked(QUrl(QString::fromLatin1(pLink)));
    QCOMPARE(oLinks.links(), QList<QUrl>{QUrl(QStringLiteral("https://corvane.example/news"))});
}

QTEST_MAIN(tst_NetworkPictures)
#include "tst_networkpictures.moc"
