#pragma once

#include <QString>

namespace systemsurvey {

struct TOperatingSystemInfo
{
    // The family ("Linux"), the product with its version, and the kernel release
    // where the system has one apart from the product version.
    QString m_sBaseSystem;
    QString m_sName;
    QString m_sRelease;
};

} // namespace systemsurvey
