#include "transferpace.h"

namespace shared {

TTransferPace::TTransferPace(qint64 nWindowMilliseconds) : m_nWindow(nWindowMilliseconds) {}

void TTransferPace::addSample(qint64 nNow, qint64 nReceived)
{
    if (nReceived < m_nReceived)
        m_lSamples.clear();
    m_nNow = nNow;
    m_nReceived = nReceived;
    if (nReceived <= 0)
        return;
    if (m_lSamples.empty() || nNow - m_lSamples.back().first >= m_nWindow / 8)
        m_lSamples.emplace_back(nNow, nReceived);
    while (m_lSamples.size() >= 2 && m_lSamples[1].first <= nNow - m_nWindow)
        m_lSamples.pop_front();
}

bool TTransferPace::isBelow(qint64 nBytesPerSecond) const
{
    if (m_lSamples.empty() || m_nWindow <= 0)
        return false;
    const auto& [nSince, nThen] = m_lSamples.front();
    const qint64 nElapsed = m_nNow - nSince;
    if (nElapsed < m_nWindow)
        return false;
    // In floating point: a long window times a high floor would overflow.
    return double(m_nReceived - nThen) * 1000.0 < double(nBytesPerSecond) * double(nElapsed);
}

} // namespace shared
