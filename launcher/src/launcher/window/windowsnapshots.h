#pragma once

#include <QString>

class QWidget;

namespace velmar::launcher {

// Pictures of the window in named states, for the screenshot script: in a
// build with crash points, when the environment variable CORVANE_SNAPSHOTS
// names a folder, the window saves "<state>.png" there the first time it
// reaches each state (unless the folder already has that picture), with its
// visible boxes drawn over it, and logs
// "snapshot saved: <path>". Other builds ignore it.
class TWindowSnapshots
{
public:
    static bool enabled();
    static void take(QWidget* pWindow, const QString& sState);
};

} // namespace velmar::launcher
