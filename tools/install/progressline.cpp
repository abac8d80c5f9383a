#include "progressline.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

QString megabytes(shared::TFileSize nBytes)
{
    return QString::number(double(nBytes) / 1e6, 'f', 1);
}

QString duration(double fSeconds)
{
    if (fSeconds < 0)
        return QStringLiteral("--:--");
    const qint64 nSeconds = qint64(fSeconds + 0.5);
    return QStringLiteral("%1:%2").arg(nSeconds / 60).arg(nSeconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TProgressLine::TProgressLine() : m_bTerminal(::isatty(STDERR_FILENO) == 1)
{
    m_oClock.start();
}

void TProgressLine::update(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal)
{
    if (sStep != m_sStep) {
        finish();
        m_sStep = sStep;
        m_oRate.reset();
        m_nStepStart = m_oClock.elapsed();
    }
    m_nDone = nDone;
    m_nTotal = nTotal;
    const qint64 nNow = m_oClock.elapsed();
    m_oRate.addSample(nNow, nDone);
    // Off a terminal (a log, a CI job) a step shows a line every few seconds and its end.
    if (m_nLastPrint < 0)
        m_nLastPrint = m_bTerminal ? -1000 : nNow;
    if (nNow - m_nLastPrint >= (m_bTerminal ? 250 : 5000)) {
        m_nLastPrint = nNow;
        print(false);
    }
}

void TProgressLine::finish()
{
    if (m_sStep.isEmpty() || m_nTotal == 0) {
        m_sStep.clear();
        return;
    }
    print(true);
    m_sStep.clear();
    m_nLastPrint = -1;
}

void TProgressLine::print(bool bFinal)
{
    const int nPercent = m_nTotal ? int(qMin<shared::TFileSize>(100, m_nDone * 100 / m_nTotal)) : 100;
    if (bFinal) {
        // The step's own average, not the last few seconds'.
        const double fSeconds = double(std::max<qint64>(1, m_oClock.elapsed() - m_nStepStart)) / 1000.0;
        const QByteArray aLine = QStringLiteral("%1: %2 MB in %3 s, %4 MB/s")
                                     .arg(m_sStep, megabytes(m_nDone), QString::number(fSeconds, 'f', 1),
                                          QString::number(double(m_nDone) / fSeconds / 1e6, 'f', 1))
                                     .toLocal8Bit();
        std::fprintf(stderr, m_bTerminal ? "\r\033[K%s\n" : "%s\n", aLine.constData());
        std::fflush(stderr);
        return;
    }
    const QString sLine = QStringLiteral("%1: %2 of %3 MB (%4%), %5 MB/s, %6 left")
                              .arg(m_sStep, megabytes(m_nDone), megabytes(m_nTotal))
                              .arg(nPercent)
                              .arg(QString::number(m_oRate.bytesPerSecond() / 1e6, 'f', 1),
                                   duration(m_oRate.secondsLeft(m_nTotal)));
    const QByteArray aLine = sLine.toLocal8Bit();
    if (m_bTerminal)
        std::fprintf(stderr, "\r\033[K%s", aLine.constData());
    else
        std::fprintf(stderr, "%s\n", aLine.constData());
    std::fflush(stderr);
}
