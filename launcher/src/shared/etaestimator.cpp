#include "etaestimator.h"

#include <algorithm>
#include <limits>

namespace shared {

TEtaEstimator::TEtaEstimator(qint64 nWindowMilliseconds, qint64 nRecentMilliseconds)
    : m_nWindow(nWindowMilliseconds), m_nRecent(std::min(nRecentMilliseconds, nWindowMilliseconds))
{
}

void TEtaEstimator::addSample(qint64 nMilliseconds, TFileSize nBytesDone)
{
    m_nNow = std::max(nMilliseconds, m_nNow);
    if (m_lChanges.empty() || nBytesDone > m_lChanges.back().second) {
        m_lChanges.emplace_back(m_nNow, nBytesDone);
        while (m_lChanges.size() > 2 && m_lChanges[1].first <= m_nNow - m_nWindow)
            m_lChanges.pop_front();
    }
    // Within a tenth the window's steadier figure stands; beyond it the speed
    // has changed, and the window would go on telling the old one for seconds:
    // from then on it starts where the change was seen.
    const double fWindow = bytesPerSecond();
    const double fRecent = rateSince(m_nNow - m_nRecent);
    if (fRecent > 0 && (fRecent * 10 < fWindow * 9 || fRecent * 10 > fWindow * 11))
        m_nSpeedChange = m_nNow - m_nRecent;
}

double TEtaEstimator::rateSince(qint64 nStart) const
{
    if (m_lChanges.size() < 2)
        return 0;
    // Two changes at least, the earlier at or before nStart where there is one.
    size_t nBase = m_lChanges.size() - 2;
    while (nBase > 0 && m_lChanges[nBase].first > nStart)
        --nBase;
    const auto& oBase = m_lChanges[nBase];
    const auto& oLast = m_lChanges.back();
    const qint64 nChanging = oLast.first - oBase.first;
    // A pause as long as the usual one between changes is the transfer's
    // rhythm; beyond that the count stands still and the time counts.
    const qint64 nUsualPause = nChanging / qint64(m_lChanges.size() - 1 - nBase);
    const qint64 nSpan = std::max(nChanging, m_nNow - oBase.first - nUsualPause);
    if (nSpan <= 0)
        return 0;
    return double(oLast.second - oBase.second) * 1000.0 / double(nSpan);
}

double TEtaEstimator::bytesPerSecond() const
{
    // Nothing for a whole window is a stall, not a slow transfer.
    if (m_lChanges.empty() || m_nNow - m_lChanges.back().first > m_nWindow)
        return 0;
    return rateSince(std::max(m_nNow - m_nWindow, m_nSpeedChange));
}

double TEtaEstimator::secondsLeft(TFileSize nBytesTotal) const
{
    const TFileSize nDone = m_lChanges.empty() ? 0 : m_lChanges.back().second;
    if (!m_lChanges.empty() && nDone >= nBytesTotal)
        return 0;
    const double fRate = bytesPerSecond();
    if (fRate <= 0)
        return -1;
    return double(nBytesTotal - nDone) / fRate;
}

qint64 TEtaEstimator::millisecondsSinceChange() const
{
    return m_lChanges.empty() ? -1 : m_nNow - m_lChanges.back().first;
}

void TEtaEstimator::reset()
{
    m_lChanges.clear();
    m_nNow = -1;
    m_nSpeedChange = std::numeric_limits<qint64>::min();
}

} // namespace shared
