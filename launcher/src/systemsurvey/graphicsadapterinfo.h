#pragma once

#include <QString>
#include <QtGlobal>

namespace systemsurvey {

struct TGraphicsAdapterInfo
{
    QString m_sDeviceString;
    // Bytes; 0 when the system does not say.
    quint64 m_nVideoMemorySize = 0;
    // PCI ids; 0 when the adapter is not a PCI device.
    quint32 m_nVendorId = 0;
    quint32 m_nDeviceId = 0;
    QString m_sDriverVersion;
};

} // namespace systemsurvey
