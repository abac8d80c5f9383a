#include "clientrunningmarker.h"

#include "launcher/documents/launcherversion.h"

namespace velmar::launcher {

TClientRunningMarker::TClientRunningMarker() : m_oMapping(clientRunningMarkerName(), true) {}

bool isClientRunning()
{
    return shared::TNamedFileMapping::exists(clientRunningMarkerName());
}

} // namespace velmar::launcher
