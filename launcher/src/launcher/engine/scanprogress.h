#pragma once

#include "shared/filesize.h"

#include <QMutex>

#include <functional>
#include <limits>

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
        const shared::TFileSize nShown = qMin(m_nScanned, m_nTotal);
        // The same figure again tells nothing: a fresh install of a hundred
        // thousand files, none of them on disk yet, would send it as often.
        if (nShown == m_nReported)
            return;
        m_nReported = nShown;
        if (m_fnReport)
            m_fnReport(nShown, m_nTotal);
    }

private:
    QMutex m_oMutex;
    shared::TFileSize m_nScanned = 0;
    // No figure shown can be this: the first, even 0, is reported.
    shared::TFileSize m_nReported = std::numeric_limits<shared::TFileSize>::max();
    const shared::TFileSize m_nTotal;
    const std::function<void(shared::TFileSize, shared::TFileSize)> m_fnReport;
};

} // namespace velmar::launcher
