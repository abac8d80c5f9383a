#pragma once

#include "filesize.h"

#include <QtGlobal>

#include <deque>
#include <utility>

namespace shared {

// Time left of a transfer for a person to read. Bytes often arrive in bursts
// (a chunk at a time) while progress is reported on a clock, so the rate is
// taken between the moments the count changed, over a sliding window, and then
// smoothed over a few seconds: the figure neither jumps with each burst nor
// stays wrong for long after a real change of speed.
class TEtaEstimator
{
public:
    explicit TEtaEstimator(qint64 nWindowMilliseconds = 5000, double fSmoothingSeconds = 3.0);

    // Times and counts that go back are taken as no progress.
    void addSample(qint64 nMilliseconds, TFileSize nBytesDone);
    // Bytes per second; 0 while unknown or stalled.
    double bytesPerSecond() const;
    // Seconds until nBytesTotal is done; negative while unknown (no rate yet,
    // or nothing arrived for a whole window), 0 once done.
    double secondsLeft(TFileSize nBytesTotal) const;
    void reset();

private:
    qint64 m_nWindow;
    double m_fSmoothingSeconds;
    // (time, count) where the count changed, the first sample included; one
    // of them at or before the window's start.
    std::deque<std::pair<qint64, TFileSize>> m_lChanges;
    qint64 m_nNow = -1;
    double m_fRate = 0;
};

} // namespace shared
