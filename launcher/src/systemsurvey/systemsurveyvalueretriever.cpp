#include "systemsurveyvalueretriever.h"

#include "processoridentification.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include <utility>

namespace systemsurvey {

TSystemSurveyValueRetriever::TSystemSurveyValueRetriever(QString sSystemRoot)
    : m_sSystemRoot(std::move(sSystemRoot))
{
}

TSystemSurveyValueRetriever::~TSystemSurveyValueRetriever() = default;

QString TSystemSurveyValueRetriever::systemPath(const QString& sPath) const
{
    return QDir::cleanPath(m_sSystemRoot + QLatin1Char('/') + sPath);
}

QList<TMonitorInfo> TSystemSurveyValueRetriever::retrieveMonitors() const
{
    QList<TMonitorInfo> lMonitors;
    // Screens exist only inside a GUI application; asking without one would crash.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return lMonitors;
    const QScreen* pPrimary = QGuiApplication::primaryScreen();
    const QList<QScreen*> lScreens = QGuiApplication::screens();
    for (const QScreen* pScreen : lScreens) {
        const QRect oGeometry = pScreen->geometry();
        TMonitorInfo oMonitor;
        oMonitor.m_nWidth = oGeometry.right() - oGeometry.left() + 1;
        oMonitor.m_nHeight = oGeometry.bottom() - oGeometry.top() + 1;
        oMonitor.m_bPrimary = pScreen == pPrimary;
        const qreal dRefreshRate = pScreen->refreshRate();
        oMonitor.m_nRefreshRate = dRefreshRate > 0 ? static_cast<quint64>(dRefreshRate) : 0;
        lMonitors.append(oMonitor);
    }
    return lMonitors;
}

TProcessorInfo TSystemSurveyValueRetriever::retrieveProcessor() const
{
    TProcessorInfo oProcessor = TProcessorIdentification::identify(&TProcessorIdentification::executeCpuid);
    retrieveProcessorCounts(oProcessor.m_nNumaNodes, oProcessor.m_nPhysicalPackages, oProcessor.m_nCores,
                            oProcessor.m_nLogicalProcessors);
    oProcessor.m_dClockSpeed = retrieveClockSpeed();
    return oProcessor;
}

} // namespace systemsurvey
