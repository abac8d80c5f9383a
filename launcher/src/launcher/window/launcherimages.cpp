#include "launcherimages.h"

#include <QtGlobal>

#include <mutex>

// Q_INIT_RESOURCE cannot be used inside a namespace.
static void registerLauncherImages()
{
    Q_INIT_RESOURCE(launcherimages);
}

namespace velmar::launcher {

void initLauncherImages()
{
    static std::once_flag oOnce;
    std::call_once(oOnce, registerLauncherImages);
}

} // namespace velmar::launcher
