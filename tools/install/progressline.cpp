#include "progressline.h"

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
    }
    m_nDone = nDone;
    m_nTotal = nTotal;
    const qint64 nNow = m_oClock.elapsed();
    m_oRate.addSample(nNow, nDone);
    if (m_nLastPrint < 0 || nNow - m_nLastPrint >= (m_bTerminal ? 250 : 5000)) {
        m_nLastPrint = nNow;
        print(false);
    }
}

void TProgressLine::finish()
{
    if (m_sStep.isEmpty())
        return;
    print(true);
    m_sStep.clear();
    m_nLastPrint = -1;
    m_bPrinted = false;
}

void TProgressLine::print(bool bFinal)
{
    const int nPercent = m_nTotal ? int(qMin<shared::TFileSize>(100, m_nDone * 100 / m_nTotal)) : 100;
    const QString sLine = QStringLiteral("%1: %2 of %3 MB (%4%), %5 MB/s, %6 left")
                              .arg(m_sStep, megabytes(m_nDone), megabytes(m_nTotal))
                              .arg(nPercent)
                              .arg(QString::number(m_oRate.bytesPerSecond() / 1e6, 'f', 1),
                                   bFinal ? QStringLiteral("0:00") : duration(m_oRate.secondsLeft(m_nTotal)));
    const QByteArray aLine = sLine.toLocal8Bit();
    if (m_bTerminal)
        std::fprintf(stderr, "\r\033[K%s%s", aLine.constData(), bFinal ? "\n" : "");
    else
        std::fprintf(stderr, "%s\n", aLine.constData());
    std::fflush(stderr);
    m_bPrinted = true;
}
