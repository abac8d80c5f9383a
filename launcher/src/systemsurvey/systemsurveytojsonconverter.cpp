#include "systemsurveytojsonconverter.h"

#include "surveyclientidentifier.h"

#include <QJsonArray>
#include <QJsonObject>

namespace systemsurvey {

namespace {

// JSON numbers travel as doubles; counts above 2^53 do not occur in practice.
QJsonValue integer(quint64 nValue)
{
    return QJsonValue(static_cast<qint64>(nValue));
}

QJsonObject monitorObject(const TMonitorInfo& oMonitor)
{
    QJsonObject oObject;
    oObject.insert(QStringLiteral("width"), oMonitor.m_nWidth);
    oObject.insert(QStringLiteral("height"), oMonitor.m_nHeight);
    oObject.insert(QStringLiteral("primary"), oMonitor.m_bPrimary);
    oObject.insert(QStringLiteral("refreshRate"), integer(oMonitor.m_nRefreshRate));
    return oObject;
}

QJsonObject operatingSystemObject(const TOperatingSystemInfo& oSystem)
{
    QJsonObject oObject;
    oObject.insert(QStringLiteral("baseSystem"), oSystem.m_sBaseSystem);
    oObject.insert(QStringLiteral("name"), oSystem.m_sName);
    if (!oSystem.m_sRelease.isEmpty())
        oObject.insert(QStringLiteral("release"), oSystem.m_sRelease);
    return oObject;
}

QJsonObject processorObject(const TProcessorInfo& oProcessor)
{
    QJsonObject oObject;
    oObject.insert(QStringLiteral("manufacturer"), oProcessor.m_sManufacturer);
    oObject.insert(QStringLiteral("brandName"), oProcessor.m_sBrandName);
    oObject.insert(QStringLiteral("64Bit"), oProcessor.m_b64Bit);
    oObject.insert(QStringLiteral("sse"), oProcessor.m_bSse);
    oObject.insert(QStringLiteral("sse2"), oProcessor.m_bSse2);
    oObject.insert(QStringLiteral("NUMANumber"), static_cast<int>(oProcessor.m_nNumaNodes));
    oObject.insert(QStringLiteral("physicalNumber"), static_cast<int>(oProcessor.m_nPhysicalPackages));
    oObject.insert(QStringLiteral("coreNumber"), static_cast<int>(oProcessor.m_nCores));
    oObject.insert(QStringLiteral("logicalCoreNumber"), static_cast<int>(oProcessor.m_nLogicalProcessors));
    oObject.insert(QStringLiteral("clockSpeed"), oProcessor.m_dClockSpeed);
    return oObject;
}

QJsonObject graphicsAdapterObject(const TGraphicsAdapterInfo& oAdapter)
{
    QJsonObject oObject;
    oObject.insert(QStringLiteral("deviceString"), oAdapter.m_sDeviceString);
    oObject.insert(QStringLiteral("videoMemorySize"), integer(oAdapter.m_nVideoMemorySize));
    if (oAdapter.m_nVendorId != 0)
        oObject.insert(QStringLiteral("vendorId"), integer(oAdapter.m_nVendorId));
    // The document format pairs the device id with the driver version: neither is
    // sent without the other.
    if (!oAdapter.m_sDriverVersion.isEmpty()) {
        oObject.insert(QStringLiteral("deviceId"), integer(oAdapter.m_nDeviceId));
        oObject.insert(QStringLiteral("driverVersion"), oAdapter.m_sDriverVersion);
    }
    return oObject;
}

} // namespace

TSystemSurveyToJsonConverter::TSystemSurveyToJsonConverter() = default;

TSystemSurveyToJsonConverter::~TSystemSurveyToJsonConverter() = default;

QJsonDocument TSystemSurveyToJsonConverter::convert(const TSystemSurvey& oSurvey) const
{
    QJsonArray aMonitors;
    for (const TMonitorInfo& oMonitor : oSurvey.m_lMonitors)
        aMonitors.append(monitorObject(oMonitor));
    QJsonArray aAdapters;
    for (const TGraphicsAdapterInfo& oAdapter : oSurvey.m_lGraphicsAdapters)
        aAdapters.append(graphicsAdapterObject(oAdapter));

    QJsonObject oRoot;
    oRoot.insert(QStringLiteral("dataType"), 0);
    oRoot.insert(QStringLiteral("clientID"), surveyClientIdentifier());
    oRoot.insert(QStringLiteral("monitors"), aMonitors);
    oRoot.insert(QStringLiteral("operatingSystem"), operatingSystemObject(oSurvey.m_oOperatingSystem));
    oRoot.insert(QStringLiteral("mainMemorySize"), integer(oSurvey.m_nMainMemorySize));
    oRoot.insert(QStringLiteral("cpu"), processorObject(oSurvey.m_oProcessor));
    oRoot.insert(QStringLiteral("gpu"), aAdapters);
    return QJsonDocument(oRoot);
}

} // namespace systemsurvey
