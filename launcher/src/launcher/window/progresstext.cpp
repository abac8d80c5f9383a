#include "progresstext.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmar::launcher {

int progressValue(shared::TFileSize nDone, shared::TFileSize nTotal)
{
    if (nTotal == 0)
        return 0;
    if (nDone >= nTotal)
        return kProgressScale;
    const float fValue = float(nDone) / float(nTotal) * float(kProgressScale);
    return std::min(kProgressScale, int(std::floor(fValue + 0.5f)));
}

QString megabytesText(shared::TFileSize nDone, shared::TFileSize nTotal)
{
    return QStringLiteral("%1/%2 MB")
        .arg(double(nDone) / 1000000.0, 0, 'f', 1)
        .arg(double(nTotal) / 1000000.0, 0, 'f', 1);
}

QString sizeText(shared::TFileSize nBytes)
{
    if (nBytes > 1073741824)
        return QStringLiteral("%1 GB").arg(double(nBytes) / 1000000000.0, 0, 'f', 1);
    if (nBytes > 1048576)
        return QStringLiteral("%1 MB").arg(double(nBytes) / 1000000.0, 0, 'f', 1);
    if (nBytes > 1024)
        return QStringLiteral("%1 KB").arg(double(nBytes) / 1000.0, 0, 'f', 1);
    return QStringLiteral("%1 B").arg(nBytes);
}

QString rateText(shared::TFileSize nBytesPerSecond)
{
    return sizeText(nBytesPerSecond) + QStringLiteral("/s");
}

QString timeLeftText(double fSeconds)
{
    if (!(fSeconds >= 0))
        return QString();
    const qint64 nSeconds = qint64(std::ceil(std::min(fSeconds, 360000.0)));
    const qint64 nHours = nSeconds / 3600;
    const qint64 nMinutes = nSeconds / 60 % 60;
    const QString sSeconds = QStringLiteral("%1").arg(nSeconds % 60, 2, 10, QLatin1Char('0'));
    if (nHours > 0)
        return QStringLiteral("%1:%2:%3 left").arg(nHours).arg(nMinutes, 2, 10, QLatin1Char('0')).arg(sSeconds);
    return QStringLiteral("%1:%2 left").arg(nMinutes).arg(sSeconds);
}

} // namespace velmar::launcher
