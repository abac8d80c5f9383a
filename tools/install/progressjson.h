#pragma once

#include "shared/filesize.h"
#include "shared/etaestimator.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

// corvane-install's progress for scripts (--progress json): one JSON object a
// line on standard output, at most one a second per step and one at its end:
//   {"step":"download","bytesDone":N,"bytesTotal":N,"bytesPerSecond":N,"secondsLeft":N}
// ("secondsLeft" is null while unknown), and last the outcome:
//   {"outcome":"complete"|"failed"|"interrupted","reason":"...","version":"..."}.
class TProgressJson
{
public:
    TProgressJson();

    void update(const QString& sStep, shared::TFileSize nDone, shared::TFileSize nTotal);
    // Writes the current step's last line, if it has one to write.
    void finish();
    void outcome(const QString& sOutcome, const QString& sReason, const QString& sVersion = QString());

private:
    void print();
    static void write(const QJsonObject& oObject);

    QElapsedTimer m_oClock;
    qint64 m_nLastPrint = -1;
    QString m_sStep;
    shared::TFileSize m_nDone = 0;
    shared::TFileSize m_nTotal = 0;
    shared::TEtaEstimator m_oRate;
};
