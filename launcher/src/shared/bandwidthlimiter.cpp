#include "bandwidthlimiter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

namespace shared {

namespace {

qint64 steadyMilliseconds()
{
    return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

constexpr double kMinimumCapacity = 16 * 1024;

} // namespace

TBandwidthLimiter::TBandwidthLimiter(qint64 nBytesPerSecond, QObject* pParent)
    : QObject(pParent)
    , m_nRate(std::max<qint64>(nBytesPerSecond, 0))
    , m_dCapacity(std::max(double(m_nRate) / 2.0, kMinimumCapacity))
    , m_dBudget(m_dCapacity)
    , m_fnNow(steadyMilliseconds)
{
    m_nLastRefill = m_fnNow();
    m_oTimer.setSingleShot(true);
    connect(&m_oTimer, &QTimer::timeout, this, &TBandwidthLimiter::pump);
}

void TBandwidthLimiter::setClock(std::function<qint64()> fnNow)
{
    m_fnNow = std::move(fnNow);
    m_nLastRefill = m_fnNow();
}

int TBandwidthLimiter::addTransfer(std::function<qint64()> fnWaiting, std::function<qint64(qint64)> fnTake)
{
    const int nId = m_nNextId++;
    m_hTransfers.emplace(nId, TTransfer{std::move(fnWaiting), std::move(fnTake)});
    return nId;
}

void TBandwidthLimiter::removeTransfer(int nId)
{
    m_hTransfers.erase(nId);
}

qint64 TBandwidthLimiter::floorFor(qint64 nFloor) const
{
    if (m_nRate <= 0)
        return nFloor;
    return std::min(nFloor, m_nRate / std::max(transfers(), 1) / 4);
}

void TBandwidthLimiter::wake()
{
    // A round is due anyway: it serves this transfer in its turn.
    if (!m_oTimer.isActive())
        pump();
}

void TBandwidthLimiter::charge(qint64 nBytes)
{
    if (m_nRate > 0)
        m_dBudget -= double(nBytes);
}

void TBandwidthLimiter::refill()
{
    const qint64 nNow = m_fnNow();
    if (nNow > m_nLastRefill)
        m_dBudget = std::min(m_dCapacity, m_dBudget + double(nNow - m_nLastRefill) * double(m_nRate) / 1000.0);
    m_nLastRefill = std::max(m_nLastRefill, nNow);
}

void TBandwidthLimiter::pump()
{
    // A transfer's read may end up here again; the round under way serves it.
    if (m_bPumping)
        return;
    m_bPumping = true;
    const bool bUnlimited = m_nRate <= 0;
    if (!bUnlimited)
        refill();
    std::vector<int> lWanting;
    for (const auto& [nId, oTransfer] : m_hTransfers) {
        if (oTransfer.fnWaiting() > 0)
            lWanting.push_back(nId);
    }
    if (!lWanting.empty())
        std::rotate(lWanting.begin(), lWanting.begin() + (m_nRound++ % int(lWanting.size())), lWanting.end());
    while (!lWanting.empty() && (bUnlimited || m_dBudget >= 1.0)) {
        const qint64 nShare = bUnlimited ? std::numeric_limits<qint64>::max()
                                         : std::max<qint64>(1, qint64(m_dBudget / double(lWanting.size())));
        std::vector<int> lStill;
        for (const int nId : lWanting) {
            const auto it = m_hTransfers.find(nId);
            if (it == m_hTransfers.end())
                continue;
            const qint64 nWaiting = it->second.fnWaiting();
            const qint64 nGive = bUnlimited ? nWaiting : std::min({nWaiting, nShare, qint64(m_dBudget)});
            if (nGive <= 0)
                continue;
            const qint64 nTaken = it->second.fnTake(nGive);
            if (!bUnlimited)
                m_dBudget -= double(nTaken);
            // The transfer may be gone: its read can finish it.
            const auto itAfter = m_hTransfers.find(nId);
            if (nTaken > 0 && itAfter != m_hTransfers.end() && itAfter->second.fnWaiting() > 0)
                lStill.push_back(nId);
            if (!bUnlimited && m_dBudget < 1.0)
                break;
        }
        lWanting.swap(lStill);
    }
    m_bPumping = false;
    if (bUnlimited || std::none_of(m_hTransfers.cbegin(), m_hTransfers.cend(),
                                   [](const auto& oEntry) { return oEntry.second.fnWaiting() > 0; }))
        return;
    // The next round comes when a useful amount has grown: a fiftieth of a
    // second's worth, and at least half a kilobyte.
    const double dQuantum = std::min(m_dCapacity, std::max(double(m_nRate) / 50.0, 512.0));
    const double dMissing = std::max(dQuantum - m_dBudget, 1.0);
    m_oTimer.start(int(std::clamp(std::ceil(dMissing * 1000.0 / double(m_nRate)), 1.0, 1000.0)));
}

} // namespace shared
