#include "systemsurveycreator.h"

#include <utility>

namespace systemsurvey {

TSystemSurveyCreator::TSystemSurveyCreator(std::shared_ptr<TSystemSurveyValueRetriever> pRetriever)
    : m_pRetriever(std::move(pRetriever))
{
}

TSystemSurveyCreator::~TSystemSurveyCreator() = default;

TSystemSurvey TSystemSurveyCreator::createSurvey() const
{
    TSystemSurvey oSurvey;
    if (!m_pRetriever)
        return oSurvey;
    const QList<TMonitorInfo> lMonitors = m_pRetriever->retrieveMonitors();
    for (const TMonitorInfo& oMonitor : lMonitors) {
        if (oMonitor.m_nWidth > 0 && oMonitor.m_nHeight > 0)
            oSurvey.m_lMonitors.append(oMonitor);
    }
    oSurvey.m_oOperatingSystem = m_pRetriever->retrieveOperatingSystem();
    oSurvey.m_nMainMemorySize = m_pRetriever->retrieveMainMemorySize();
    oSurvey.m_oProcessor = m_pRetriever->retrieveProcessor();
    oSurvey.m_lGraphicsAdapters = m_pRetriever->retrieveGraphicsAdapters();
    return oSurvey;
}

} // namespace systemsurvey
