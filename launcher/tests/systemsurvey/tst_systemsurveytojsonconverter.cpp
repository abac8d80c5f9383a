#include "systemsurvey/surveyclientidentifier.h"
#include "systemsurvey/systemsurveyasjsondocumentcreator.h"
#include "systemsurvey/systemsurveycreator.h"
#include "systemsurvey/systemsurveytojsonconverter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

using namespace systemsurvey;

namespace {

// Serves fixed values.
class TFixedRetriever : public TSystemSurveyValueRetriever
{
public:
    QList<TMonitorInfo> retrieveMonitors() const override { return m_lMonitors; }
    TProcessorInfo retrieveProcessor() const override { return m_oProcessor; }
    TOperatingSystemInfo retrieveOperatingSystem() const override { return m_oSystem; }
    quint64 retrieveMainMemorySize() const override { return m_nMemory; }
    QList<TGraphicsAdapterInfo> retrieveGraphicsAdapters() const override { return m_lAdapters; }

    QList<TMonitorInfo> m_lMonitors;
    TOperatingSystemInfo m_oSystem;
    quint64 m_nMemory = 0;
    TProcessorInfo m_oProcessor;
    QList<TGraphicsAdapterInfo> m_lAdapters;
};

std::shared_ptr<TFixedRetriever> sampleMachine()
{
    auto pRetriever = std::make_shared<TFixedRetriever>();
    pRetriever->m_lMonitors = {{2560, 1440, true, 144}, {1920, 0, false, 60}, {1280, 1024, false, 75}, {-1, 768, false, 60}};
    pRetriever->m_oSystem = {QStringLiteral("Linux"), QStringLiteral("Debian GNU/Linux 12 (bookworm)"),
                             QStringLiteral("6.1.0-18-amd64")};
    pRetriever->m_nMemory = quint64(34359738368);
    pRetriever->m_oProcessor = {QStringLiteral("AMD"), QStringLiteral("AMD Ryzen 9 7950X 16-Core Processor"), true, true,
                                false, 1, 1, 16, 32, 4500.5};
    pRetriever->m_lAdapters = {
        {QStringLiteral("Known by name only"), 4294967296u, 0, 0, QString()},
        {QStringLiteral("Vendor without driver"), 0, 0x8086, 0x9a49, QString()},
        {QStringLiteral("Full record"), 17163091968u, 0x1002, 0x73bf, QStringLiteral("6.1.0-18-amd64")},
        {QStringLiteral("Driver without vendor"), 0, 0, 0, QStringLiteral("1.2")},
    };
    return pRetriever;
}

const char* const kExpectedSample = R"json({
    "dataType": 0,
    "monitors": [
        {"width": 2560, "height": 1440, "primary": true, "refreshRate": 144},
        {"width": 1280, "height": 1024, "primary": false, "refreshRate": 75}
    ],
    "operatingSystem": {"baseSystem": "Linux", "name": "Debian GNU/Linux 12 (bookworm)", "release": "6.1.0-18-amd64"},
    "mainMemorySize": 34359738368,
    "cpu": {"manufacturer": "AMD", "brandName": "AMD Ryzen 9 7950X 16-Core Processor", "64Bit": true,
            "sse": true, "sse2": false, "NUMANumber": 1, "physicalNumber": 1, "coreNumber": 16,
            "logicalCoreNumber": 32, "clockSpeed": 4500.5},
    "gpu": [
        {"deviceString": "Known by name only", "videoMemorySize": 4294967296},
        {"deviceString": "Vendor without driver", "videoMemorySize": 0, "vendorId": 32902},
        {"deviceString": "Full record", "videoMemorySize": 17163091968, "vendorId": 4098, "deviceId": 29631,
         "driverVersion": "6.1.0-18-amd64"},
        {"deviceString": "Driver without vendor", "videoMemorySize": 0, "deviceId": 0, "driverVersion": "1.2"}
    ]
})json";

QJsonObject expectedSample()
{
    QJsonObject oExpected = QJsonDocument::fromJson(kExpectedSample).object();
    oExpected.insert(QStringLiteral("clientID"), surveyClientIdentifier());
    return oExpected;
}

} // namespace

class tst_SystemSurveyToJsonConverter : public QObject
{
    Q_OBJECT

private slots:
    void documentOfSampleMachine();
    void releaseKeyOnlyWhenThereIsOne();
    void clientIdentifier_data();
    void clientIdentifier();
    void clientIdentifierOfThisMachine();
    void missingPartsGiveAnEmptyDocument();
};

void tst_SystemSurveyToJsonConverter::documentOfSampleMachine()
{
    const TSystemSurveyAsJsonDocumentCreator oCreator(std::make_shared<TSystemSurveyCreator>(sampleMachine()),
                                                      std::make_shared<TSystemSurveyToJsonConverter>());
    const QJsonDocument oDocument = oCreator.createDocument();
    QVERIFY(oDocument.isObject());
    const QJsonObject oExpected = expectedSample();
    QVERIFY2(oDocument.object() == oExpected,
             qPrintable(QString::fromUtf8(oDocument.toJson()) + QStringLiteral("\nexpected\n")
                        + QString::fromUtf8(QJsonDocument(oExpected).toJson())));
}

void tst_SystemSurveyToJsonConverter::releaseKeyOnlyWhenThereIsOne()
{
    TSystemSurvey oSurvey;
    oSurvey.m_oOperatingSystem = {QStringLiteral("Linux"), QStringLiteral("Some Linux"), QString()};
    const QJsonObject oSystem =
        TSystemSurveyToJsonConverter().convert(oSurvey).object().value(QStringLiteral("operatingSystem")).toObject();
    QCOMPARE(oSystem.keys(), (QStringList{QStringLiteral("baseSystem"), QStringLiteral("name")}));
}

void tst_SystemSurveyToJsonConverter::clientIdentifier_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("identifier");
    QTest::newRow("salt only") << QStringList() << "86ce88a001fcf0965fe74a2f05b887aee85007ef";
    QTest::newRow("empty addresses add nothing") << QStringList{QString(), QString()}
                                                 << "86ce88a001fcf0965fe74a2f05b887aee85007ef";
    QTest::newRow("two interfaces")
        << QStringList{QStringLiteral("00:00:00:00:00:00"), QString(), QStringLiteral("52:54:00:12:34:56")}
        << "d46d844f1ae9cd3d7a3572a3db5bb53fcc48319b";
}

void tst_SystemSurveyToJsonConverter::clientIdentifier()
{
    QFETCH(QStringList, addresses);
    QTEST(computeSurveyClientIdentifier(addresses), "identifier");
}

void tst_SystemSurveyToJsonConverter::clientIdentifierOfThisMachine()
{
    const QString sIdentifier = surveyClientIdentifier();
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(sIdentifier).hasMatch(), qPrintable(sIdentifier));
    QCOMPARE(surveyClientIdentifier(), sIdentifier);
    QCOMPARE(TSystemSurveyToJsonConverter().convert(TSystemSurvey()).object().value(QStringLiteral("clientID")).toString(),
             sIdentifier);
}

void tst_SystemSurveyToJsonConverter::missingPartsGiveAnEmptyDocument()
{
    QVERIFY(TSystemSurveyAsJsonDocumentCreator(nullptr, std::make_shared<TSystemSurveyToJsonConverter>())
                .createDocument()
                .isEmpty());
    QVERIFY(TSystemSurveyCreator(nullptr).createSurvey().m_lMonitors.isEmpty());
}

QTEST_APPLESS_MAIN(tst_SystemSurveyToJsonConverter)
#include "tst_systemsurveytojsonconverter.moc"
