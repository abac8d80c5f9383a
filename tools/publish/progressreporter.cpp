#include "progressreporter.h"

#include "terminal.h"

#include <cstdio>

namespace {

constexpr qint64 kTerminalInterval = 250;
constexpr qint64 kLogInterval = 30000;
// Nothing is shown for runs shorter than this.
constexpr qint64 kFirstReport = 1000;

} // namespace

QString byteCountText(quint64 nBytes)
{
    if (nBytes < 1024)
        return QStringLiteral("%1 bytes").arg(nBytes);
    const char* const aUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    double dValue = double(nBytes) / 1024;
    int nUnit = 0;
    while (dValue >= 1024 && nUnit < 3) {
        dValue /= 1024;
        ++nUnit;
    }
    return QStringLiteral("%1 %2").arg(dValue, 0, 'f', 1).arg(QLatin1String(aUnits[nUnit]));
}

TProgressReporter::TProgressReporter(const QString& sTask, quint64 nTotalBytes)
    : m_sTask(sTask), m_nTotalBytes(nTotalBytes), m_bTerminal(standardErrorIsTerminal())
{
    m_oClock.start();
}

void TProgressReporter::report(quint64 nDoneBytes, const QString& sDetail)
{
    const qint64 nNow = m_oClock.elapsed();
    if (nNow < kFirstReport || nNow - m_nLastReport < (m_bTerminal ? kTerminalInterval : kLogInterval))
        return;
    m_nLastReport = nNow;
    const int nPercent = m_nTotalBytes ? int(nDoneBytes * 100 / m_nTotalBytes) : 100;
    const double dRate = double(nDoneBytes) / (double(nNow) / 1000);
    const QString sLine = QStringLiteral("%1: %2% (%3 of %4, %5/s) %6")
                              .arg(m_sTask)
                              .arg(nPercent, 3)
                              .arg(byteCountText(nDoneBytes), byteCountText(m_nTotalBytes),
                                   byteCountText(quint64(dRate)), sDetail);
    if (m_bTerminal) {
        // \033[K clears what a longer previous line left.
        std::fprintf(stderr, "\r%s\033[K", sLine.toLocal8Bit().constData());
        m_bLineDrawn = true;
    } else {
        std::fprintf(stderr, "%s\n", sLine.toLocal8Bit().constData());
    }
    std::fflush(stderr);
}

void TProgressReporter::finish()
{
    if (m_bLineDrawn) {
        std::fprintf(stderr, "\n");
        std::fflush(stderr);
        m_bLineDrawn = false;
    }
}
