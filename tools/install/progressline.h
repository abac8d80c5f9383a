#pragma once

#include "shared/filesize.h"
#include "shared/etaestimator.h"

#include <QElapsedTimer>
#include <QString>

// The one progress line of corvane-install on standard error: the step, bytes
// done of the total, the rate and the time left. On a terminal it is rewritten
// in place a few times a second; otherwise a line is written every few seconds.
class TProgressLine
{
public:
    TProgressLine();

    void update(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal);
    // Ends the line of the current step, if one was printed.
    void finish();

private:
    void print(bool bFinal);

    bool m_bTerminal;
    QElapsedTimer m_oClock;
    qint64 m_nLastPrint = -1;
    qint64 m_nStepStart = 0;
    QString m_sStep;
    shared::TFileSize m_nDone = 0;
    shared::TFileSize m_nTotal = 0;
    shared::TEtaEstimator m_oRate;
};
