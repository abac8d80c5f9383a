#pragma once

#include <QtGlobal>

#include <deque>
#include <utility>

namespace shared {

// How fast one transfer has been arriving lately: the bytes received over the
// last window, counted from its first byte, so that the wait for an answer is
// no part of it. Counts are kept a few per window, so a fast transfer that
// reports every few kilobytes costs no more than a slow one.
class TTransferPace
{
public:
    explicit TTransferPace(qint64 nWindowMilliseconds);

    // The cumulative count received at nNow. A count that goes back (the body of
    // a redirect's target starts again) starts the measure again.
    void addSample(qint64 nNow, qint64 nReceived);
    // True once a whole window has passed since the first byte and the bytes of
    // the last window average below nBytesPerSecond.
    bool isBelow(qint64 nBytesPerSecond) const;

private:
    qint64 m_nWindow;
    // (time, count): the first byte's report, then one report per eighth of a
    // window; the first entry is the newest one at or before the window's start.
    std::deque<std::pair<qint64, qint64>> m_lSamples;
    qint64 m_nNow = 0;
    qint64 m_nReceived = 0;
};

} // namespace shared
