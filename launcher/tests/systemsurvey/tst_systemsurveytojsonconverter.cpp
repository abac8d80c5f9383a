#include "systemsurvey/surveyclientidentifier.h"
#include "systemsurvey/systemsurveyasjsondocumentcreator.h"
#include "systemsurvey/systemsurveycreator.h"
#include "systemsurvey/systemsurveytojsonconverter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using namespace systemsurvey;

namespace {

// Serves fixed screens, memory size and adapters; the rest of this machine.
class TFixedRetriever : public TSystemSurveyValueRetriever
{
public:
    QList<TMonitorInfo> retrieveMonitors() const override
    {
        return {{2560, 1440, true, 144}, {1920, 0, false, 60}, {-1, 768, false, 60}};
    }
    quint64 retrieveMainMemorySize() const override { return quint64(34359738368); }
    QList<TGraphicsAdapterInfo> retrieveGraphicsAdapters() const override
    {
        return {{QStringLiteral("Known by name only"), 4294967296u, 0, 0, QString()},
                {QStringLiteral("Vendor without driver"), 0, 0x8086, 0x9a49, QString()},
                {QStringLiteral("Driver without vendor"), 0, 0, 0, QStringLiteral("1.2")}};
    }
};

} // namespace

class tst_SystemSurveyToJsonConverter : public QObject
{
    Q_OBJECT

private slots:
    void documentOfSampleMachine();
};

void tst_SystemSurveyToJsonConverter::documentOfSampleMachine()
{
    const auto pConverter = std::make_shared<TSystemSurveyToJsonConverter>();
    const auto pCreator = std::make_shared<TSystemSurveyCreator>(std::make_shared<TFixedRetriever>());
    const QJsonObject oDocument = TSystemSurveyAsJsonDocumentCreator(pCreator, pConverter).createDocument().object();
    // Screens without a size are left out; sizes beyond 32 bits come through whole.
    const QJsonArray lMonitors = oDocument.value(QStringLiteral("monitors")).toArray();
    QVERIFY(lMonitors.size() == 1 && lMonitors[0].toObject().value(QStringLiteral("width")).toInt() == 2560);
    QCOMPARE(oDocument.value(QStringLiteral("mainMemorySize")).toDouble(), 34359738368.0);
    // A vendor id only when known; the device id only with a driver version.
    QStringList lAdapterKeys;
    for (const QJsonValue oAdapter : oDocument.value(QStringLiteral("gpu")).toArray())
        lAdapterKeys << oAdapter.toObject().keys().join(QLatin1Char(' '));
    QCOMPARE(lAdapterKeys, QStringList({QStringLiteral("deviceString videoMemorySize"),
                                        QStringLiteral("deviceString vendorId videoMemorySize"),
                                        QStringLiteral("deviceId deviceString driverVersion videoMemorySize")}));
    const QJsonObject oNoRelease = pConverter->convert(TSystemSurvey()).object();
    QVERIFY(!oNoRelease.value(QStringLiteral("operatingSystem")).toObject().contains(QStringLiteral("release")));
    // The server follows a machine by this value across launcher versions.
    QCOMPARE(oDocument.value(QStringLiteral("clientID")).toString(), surveyClientIdentifier());
    QCOMPARE(computeSurveyClientIdentifier({QStringLiteral("00:00:00:00:00:00"), QString(), QStringLiteral("52:54:00:12:34:56")}),
             QStringLiteral("d46d844f1ae9cd3d7a3572a3db5bb53fcc48319b"));

    // Missing parts give an empty document rather than a crash.
    QVERIFY(TSystemSurveyAsJsonDocumentCreator(nullptr, pConverter).createDocument().isEmpty());
    QVERIFY(TSystemSurveyCreator(nullptr).createSurvey().m_lMonitors.isEmpty());
}

QTEST_APPLESS_MAIN(tst_SystemSurveyToJsonConverter)
#include "tst_systemsurveytojsonconverter.moc"
