#pragma once

#include "shared/filesize.h"

#include <QString>

namespace velmar::launcher {

// The scale of every progress bar of a package item.
constexpr int kProgressScale = 10000;

// D of T on the bar's scale, rounded half up; 0 when the total is 0 (nothing
// known yet) and never beyond the full bar when D outruns T.
int progressValue(shared::TFileSize nDone, shared::TFileSize nTotal);
// "%1/%2 MB" with one decimal each.
QString megabytesText(shared::TFileSize nDone, shared::TFileSize nTotal);
// "%1 GB", "%1 MB", "%1 KB" with one decimal, or "%1 B": thresholds in powers
// of 1024, divisors in powers of 1000.
QString sizeText(shared::TFileSize nBytes);
// sizeText() a second: "%1 MB/s".
QString rateText(shared::TFileSize nBytesPerSecond);
// "1:05 left", "1:02:03 left"; empty while unknown (negative).
QString timeLeftText(double fSeconds);

} // namespace velmar::launcher
