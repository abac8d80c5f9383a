#pragma once

#include "shared/filesize.h"

#include <QMutex>

#include <functional>

namespace velmar::launcher {

// What the scan tasks of one difference computation share: how many bytes of
// the installed files they have examined, out of how many, and where to report it.
class TScanProgress
{
public:
    TScanProgress(shared::TFileSize nTotal, std::function<void(shared::TFileSize, shared::TFileSize)> fnReport)
        : m_nTotal(nTotal), m_fnReport(std::move(fnReport))
    {
    }

    void add(shared::TFileSize nBytes)
    {
        QMutexLocker oLock(&m_oMutex);
        m_nScanned += nBytes;
        // A file that grew since the total was taken must not push the count past it.
        if (m_fnReport)
            m_fnReport(qMin(m_nScanned, m_nTotal), m_nTotal);
    }

private:
    QMutex m_oMutex;
    shared::TFileSize m_nScanned = 0;
    const shared::TFileSize m_nTotal;
    const std::function<void(shared::TFileSize, shared::TFileSize)> m_fnReport;
};

} // namespace velmar::launcher
