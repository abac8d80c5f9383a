#include "rateestimator.h"

#include <algorithm>

namespace shared {

void TRateEstimator::addSample(qint64 nMilliseconds, TFileSize nBytesDone)
{
    if (!m_lSamples.empty()) {
        nMilliseconds = std::max(nMilliseconds, m_lSamples.back().first);
        nBytesDone = std::max(nBytesDone, m_lSamples.back().second);
    }
    m_lSamples.emplace_back(nMilliseconds, nBytesDone);
    // Keep one sample at or before the window's start, so the window stays full.
    while (m_lSamples.size() > 2 && m_lSamples[1].first <= nMilliseconds - m_nWindow)
        m_lSamples.pop_front();
}

double TRateEstimator::bytesPerSecond() const
{
    if (m_lSamples.size() < 2)
        return 0;
    const qint64 nSpan = m_lSamples.back().first - m_lSamples.front().first;
    if (nSpan <= 0)
        return 0;
    return double(m_lSamples.back().second - m_lSamples.front().second) * 1000.0 / double(nSpan);
}

double TRateEstimator::secondsLeft(TFileSize nBytesTotal) const
{
    const double fRate = bytesPerSecond();
    if (fRate <= 0 || m_lSamples.empty())
        return -1;
    const TFileSize nDone = m_lSamples.back().second;
    return nBytesTotal > nDone ? double(nBytesTotal - nDone) / fRate : 0.0;
}

} // namespace shared
