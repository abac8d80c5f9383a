#include "launcherresources.h"

#include <QtGlobal>

#include <mutex>

// Q_INIT_RESOURCE cannot be used inside a namespace.
static void registerLauncherResources()
{
    Q_INIT_RESOURCE(launchersettings);
}

namespace velmar::launcher {

void initLauncherResources()
{
    static std::once_flag oOnce;
    std::call_once(oOnce, registerLauncherResources);
}

} // namespace velmar::launcher
