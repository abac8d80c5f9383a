#include "etaestimator.h"

#include <algorithm>
#include <cmath>

namespace shared {

TEtaEstimator::TEtaEstimator(qint64 nWindowMilliseconds, double fSmoothingSeconds)
    : m_nWindow(nWindowMilliseconds), m_fSmoothingSeconds(fSmoothingSeconds)
{
}

void TEtaEstimator::addSample(qint64 nMilliseconds, TFileSize nBytesDone)
{
    const qint64 nPrevious = m_nNow;
    m_nNow = std::max(nMilliseconds, m_nNow);
    if (!m_lChanges.empty() && nBytesDone <= m_lChanges.back().second)
        return;
    m_lChanges.emplace_back(m_nNow, nBytesDone);
    while (m_lChanges.size() > 2 && m_lChanges[1].first <= m_nNow - m_nWindow)
        m_lChanges.pop_front();
    const qint64 nSpan = m_lChanges.back().first - m_lChanges.front().first;
    if (m_lChanges.size() < 2 || nSpan <= 0)
        return;
    const double fMeasured = double(m_lChanges.back().second - m_lChanges.front().second) * 1000.0 / double(nSpan);
    if (m_fRate <= 0 || nPrevious < 0) {
        m_fRate = fMeasured;
        return;
    }
    const double fElapsed = double(m_nNow - nPrevious) / 1000.0;
    m_fRate += (1.0 - std::exp(-fElapsed / m_fSmoothingSeconds)) * (fMeasured - m_fRate);
}

double TEtaEstimator::bytesPerSecond() const
{
    // Nothing for a whole window is a stall, not a slow transfer.
    if (m_lChanges.empty() || m_nNow - m_lChanges.back().first > m_nWindow)
        return 0;
    return m_fRate;
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

void TEtaEstimator::reset()
{
    m_lChanges.clear();
    m_nNow = -1;
    m_fRate = 0;
}

} // namespace shared
