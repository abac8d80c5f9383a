#pragma once

#include "shared/namedfilemapping.h"

namespace velmar::launcher {

// What a game client holds while it runs: the launcher waits for it after a
// start and refuses to update a client that holds it.
class TClientRunningMarker
{
public:
    TClientRunningMarker();

    // False when another client process holds the marker already.
    bool isHeld() const { return m_oMapping.isHeld(); }

private:
    shared::TNamedFileMapping m_oMapping;
};

// Whether some client process holds the marker.
bool isClientRunning();

} // namespace velmar::launcher
