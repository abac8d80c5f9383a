#pragma once

#include "filesize.h"

#include <QtGlobal>

#include <deque>
#include <utility>

namespace shared {

// Rate and time left of a transfer, from the bytes done so far at given times.
// The rate is taken over a sliding window, so that it neither jumps with each
// burst of a bursty transfer nor lags minutes behind a real change; a count
// that goes back (a retried piece) is ignored rather than read as negative speed.
class TRateEstimator
{
public:
    explicit TRateEstimator(qint64 nWindowMilliseconds = 5000) : m_nWindow(nWindowMilliseconds) {}

    void addSample(qint64 nMilliseconds, TFileSize nBytesDone);
    // Bytes per second; 0 until two samples lie apart in time.
    double bytesPerSecond() const;
    // Seconds until nBytesTotal; negative when unknown (no rate yet).
    double secondsLeft(TFileSize nBytesTotal) const;
    void reset() { m_lSamples.clear(); }

private:
    qint64 m_nWindow;
    std::deque<std::pair<qint64, TFileSize>> m_lSamples;
};

} // namespace shared
