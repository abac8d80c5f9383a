#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM as a Qt signal on the main thread: the handler only writes
// the signal's number to a socket pair that the event loop watches. After the
// first, the signals take their default action again, so that a second Ctrl+C
// ends a run that does not end by itself.
class TStopSignals : public QObject
{
    Q_OBJECT

public:
    explicit TStopSignals(QObject* pParent = nullptr);
    ~TStopSignals() override;

signals:
    void stopRequested(int nSignal);

private:
    void onReadable();

    QSocketNotifier* m_pNotifier = nullptr;
};
