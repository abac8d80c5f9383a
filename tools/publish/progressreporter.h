#pragma once

#include <QElapsedTimer>
#include <QString>

// Progress of a long run on standard error: on a terminal one line that is
// redrawn a few times a second, elsewhere (a log, a CI job) a line every half
// minute. Short runs print nothing.
class TProgressReporter
{
public:
    TProgressReporter(const QString& sTask, quint64 nTotalBytes);

    // nDoneBytes of the total are done; sDetail is shown behind the figures.
    void report(quint64 nDoneBytes, const QString& sDetail);
    // Ends the redrawn line, if one was drawn.
    void finish();

private:
    QString m_sTask;
    quint64 m_nTotalBytes;
    bool m_bTerminal;
    bool m_bLineDrawn = false;
    QElapsedTimer m_oClock;
    qint64 m_nLastReport = 0;
};

// "1.5 GiB", "12.0 MiB", "512 bytes".
QString byteCountText(quint64 nBytes);
