#include "shared/randomhints.h"

#include <QtTest>

using namespace shared;

namespace {

const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-06-01T12:00:00Z"), Qt::ISODate);

QString chosen(const QByteArray& aDocument, const QDateTime& oNow = kNow)
{
    const std::optional<THint> oHint = selectHint(parseHints(aDocument), oNow);
    return oHint ? oHint->m_sTitle : QStringLiteral("<none>");
}

} // namespace

class tst_RandomHints : public QObject
{
    Q_OBJECT

private slots:
    void parsesFields();
    void selection_data();
    void selection();
    void undatedHintsRotateWithTheClock();
};

void tst_RandomHints::parsesFields()
{
    const std::vector<THint> lHints = parseHints(R"([
        {"title": "no text", "url": "https://x.invalid"},
        {"title": "T", "richText": "<a href='x'>x</a>", "imageUrl": "i.png", "category": "news", "url": "u",
         "displayAfter": "2026-05-01T00:00:00Z", "displayUntil": "not a date", "emergency": "yes"},
        7,
        {"title": 5, "richText": "r"}])");
    QCOMPARE(lHints.size(), size_t(2));
    const THint& oHint = lHints[0];
    QVERIFY2(oHint.m_sRichText.endsWith(QLatin1String("<a href='x'>x</a>")), qPrintable(oHint.m_sRichText));
    QCOMPARE(QStringList({oHint.m_sTitle, lHints[1].m_sTitle, oHint.m_sImageUrl, oHint.m_sCategory, oHint.m_sUrl}),
             QStringList({"T", QString(), "i.png", "news", "u"}));
    QCOMPARE(oHint.m_oDisplayAfter, QDateTime(QDate(2026, 5, 1), QTime(0, 0), Qt::UTC));
    // A date that is none is no bound; "yes" is no emergency, but one was stated.
    QVERIFY(!oHint.m_oDisplayUntil.isValid() && oHint.m_bHasEmergency && !oHint.m_bEmergency);
}

void tst_RandomHints::selection_data()
{
    QTest::addColumn<QByteArray>("aDocument");
    QTest::addColumn<QString>("sChosen");
    QTest::newRow("first emergency wins outside its window") << QByteArray(R"([
        {"title": "dated", "richText": "r", "displayAfter": "2026-01-01T00:00:00Z"},
        {"title": "e1", "richText": "r", "emergency": true, "displayUntil": "2000-01-01T00:00:00Z"},
        {"title": "e2", "richText": "r", "emergency": true}])") << "e1";
    // Each of these also has a dated hint beat an undated one.
    QTest::newRow("display after equal to now is inclusive") << QByteArray(R"([
        {"title": "plain", "richText": "r"},
        {"title": "starts now", "richText": "r", "displayAfter": "2026-06-01T12:00:00Z"}])") << "starts now";
    QTest::newRow("display until equal to now is inclusive") << QByteArray(R"([
        {"title": "plain", "richText": "r"},
        {"title": "ends now", "richText": "r", "displayUntil": "2026-06-01T14:00:00+02:00"}])") << "ends now";
    QTest::newRow("expired, future and emergency false hints are skipped") << QByteArray(R"([
        {"title": "expired", "richText": "r", "displayUntil": "2026-05-31T00:00:00Z"},
        {"title": "future", "richText": "r", "displayAfter": "2026-06-02T00:00:00Z"},
        {"title": "quiet", "richText": "r", "emergency": false}])") << "<none>";
    QTest::newRow("nothing") << QByteArray("[]") << "<none>";
    QTest::newRow("object") << QByteArray(R"({"title": "T", "richText": "r"})") << "<none>";
    QTest::newRow("truncated") << QByteArray(R"([{"title": "T", "richText": "r")") << "<none>";
    QTest::newRow("deeply nested") << QByteArray(100000, '[') << "<none>";
}

void tst_RandomHints::selection()
{
    QFETCH(QByteArray, aDocument);
    QFETCH(QString, sChosen);
    QCOMPARE(chosen(aDocument), sChosen);
}

void tst_RandomHints::undatedHintsRotateWithTheClock()
{
    const QByteArray aDocument = R"([{"title": "0", "richText": "r"}, {"title": "1", "richText": "r"},
                                     {"title": "skip", "richText": "r", "emergency": false}, {"title": "2", "richText": "r"}])";
    // Three clock ticks in a row show every undated hint once.
    QSet<QString> lShown;
    for (qint64 nNow = 1780000000000; nNow < 1780000000003; ++nNow)
        lShown << chosen(aDocument, QDateTime::fromMSecsSinceEpoch(nNow, Qt::UTC));
    QCOMPARE(lShown, QSet<QString>({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));
    // A clock before 1970 still points inside the list.
    QVERIFY(lShown.contains(chosen(aDocument, QDateTime::fromMSecsSinceEpoch(-1, Qt::UTC))));
}

QTEST_MAIN(tst_RandomHints)
#include "tst_randomhints.moc"
