#pragma once

#include <QtGlobal>

namespace systemsurvey {

// One screen of the desktop, in the toolkit's (device-independent) pixels.
struct TMonitorInfo
{
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bPrimary = false;
    // Hz, fraction dropped.
    quint64 m_nRefreshRate = 0;
};

} // namespace systemsurvey
