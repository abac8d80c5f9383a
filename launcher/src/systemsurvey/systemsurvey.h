#pragma once

#include "graphicsadapterinfo.h"
#include "monitorinfo.h"
#include "operatingsysteminfo.h"
#include "processorinfo.h"

#include <QList>
#include <QtGlobal>

namespace systemsurvey {

// What one survey reports about the machine.
struct TSystemSurvey
{
    // Only screens with a positive width and height, in screen order.
    QList<TMonitorInfo> m_lMonitors;
    TOperatingSystemInfo m_oOperatingSystem;
    // Bytes; 0 when unknown.
    quint64 m_nMainMemorySize = 0;
    TProcessorInfo m_oProcessor;
    QList<TGraphicsAdapterInfo> m_lGraphicsAdapters;
};

} // namespace systemsurvey
