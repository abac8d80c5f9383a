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
        // Nothing on disk changes no figure: a fresh install of a hundred
        // thousand files would otherwise report the same one as often.
        if (nBytes == 0 && m_bReported)
            return;
        m_bReported = true;
        m_nScanned += nBytes;
        // A file that grew since the total was taken must not push the count past it.
        if (m_fnReport)
            m_fnReport(qMin(m_nScanned, m_nTotal), m_nTotal);
    }

private:
    QMutex m_oMutex;
    shared::TFileSize m_nScanned = 0;
    bool m_bReported = false;
    const shared::TFileSize m_nTotal;
    const std::function<void(shared::TFileSize, shared::TFileSize)> m_fnReport;
};

} // namespace velmar::launcher
