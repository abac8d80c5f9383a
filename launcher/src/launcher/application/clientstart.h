#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace velmar::launcher {

// Starts a game client and waits for it to announce itself: finished(0) once it
// holds the client-running marker, finished(1) when it does not within the
// time-out or when fnGivenUp says the player no longer waits for it.
class TClientStart : public QObject
{
    Q_OBJECT

public:
    explicit TClientStart(qint64 nTimeoutMs, QObject* pParent = nullptr);

    // Starts the program detached, in its own folder, and polls every 200 ms;
    // false when it could not be started.
    bool start(const QString& sExecutable, const QStringList& lArguments, std::function<bool()> fnGivenUp);
    bool isWaiting() const { return m_oPollTimer.isActive(); }

signals:
    void finished(int nExitCode);

private:
    void poll();

    qint64 m_nTimeoutMs;
    std::function<bool()> m_fnGivenUp;
    QElapsedTimer m_oStopwatch;
    QTimer m_oPollTimer;
};

// The client keeps its graphics interface here, relative to its package folder.
QString clientSettingsRelativePath();

// "GraphicsAPI" of the client's settings file, or 0 when it cannot be read or
// is no whole number.
int readGraphicsApi(const QString& sSettingsFile);

// The client's command line: the build's parameters, one graphics flag and,
// when the package was found sound in this run, "--package-is-up-to-date" last.
QStringList clientArguments(const QStringList& lParameters, int nGraphicsApi, bool bUpToDate);

// Why sExecutable cannot be started, as one line for the player; empty when it can.
QString clientExecutableProblem(const QString& sPackageName, const QString& sExecutable);

} // namespace velmar::launcher
