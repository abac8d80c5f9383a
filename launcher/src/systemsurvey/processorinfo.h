#pragma once

#include <QString>
#include <QtGlobal>

namespace systemsurvey {

struct TProcessorInfo
{
    QString m_sManufacturer;
    QString m_sBrandName;
    bool m_b64Bit = false;
    bool m_bSse = false;
    bool m_bSse2 = false;
    quint64 m_nNumaNodes = 0;
    quint64 m_nPhysicalPackages = 0;
    quint64 m_nCores = 0;
    quint64 m_nLogicalProcessors = 0;
    // MHz; 0 when unknown.
    double m_dClockSpeed = 0.0;
};

} // namespace systemsurvey
