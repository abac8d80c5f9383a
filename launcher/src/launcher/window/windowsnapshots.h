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
    // Also a box of its own, which is then the whole picture.
    static void take(QWidget* pWindow, const QString& sState);
    // True once per run when, besides, CORVANE_SNAPSHOT_VERIFY is set: the
    // window then verifies an installed package as the player's menu would,
    // so that the script sees what a verification ends with.
    static bool verifyRequested();
};

} // namespace velmar::launcher
