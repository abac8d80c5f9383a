#pragma once

#include "filesize.h"

#include <QtGlobal>

#include <deque>
#include <limits>
#include <utility>

namespace shared {

// Rate and time left of a transfer for a person to read, from the bytes done so
// far at given times; one for the window and corvane-install alike. Bytes often
// arrive in bursts (a chunk at a time) while progress is reported on a clock, so
// the rate is taken between the moments the count changed, over a sliding
// window. It counts the time the count stands still once that is longer than its
// usual pause, so a stall shows at once instead of after a whole window; and when
// the last seconds alone tell another speed, the window starts anew there: a
// drop (or the end of an early burst) shows within seconds, not after a slow decay.
class TEtaEstimator
{
public:
    explicit TEtaEstimator(qint64 nWindowMilliseconds = 5000, qint64 nRecentMilliseconds = 2000);

    // Times and counts that go back are taken as no progress.
    void addSample(qint64 nMilliseconds, TFileSize nBytesDone);
    // Bytes per second; 0 while unknown or stalled.
    double bytesPerSecond() const;
    // Seconds until nBytesTotal is done; negative while unknown (no rate yet,
    // or nothing arrived for a whole window), 0 once done.
    double secondsLeft(TFileSize nBytesTotal) const;
    // Since the count last grew (or since the first sample); -1 before any.
    qint64 millisecondsSinceChange() const;
    void reset();

private:
    // The rate from the last change at or before nStart on.
    double rateSince(qint64 nStart) const;

    qint64 m_nWindow;
    qint64 m_nRecent;
    // (time, count) where the count changed, the first sample included; one
    // of them at or before the window's start.
    std::deque<std::pair<qint64, TFileSize>> m_lChanges;
    qint64 m_nNow = -1;
    // Where the last change of speed was seen; the window starts there at the earliest.
    qint64 m_nSpeedChange = std::numeric_limits<qint64>::min();
};

} // namespace shared
