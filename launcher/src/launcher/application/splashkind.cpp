#include "splashkind.h"

namespace velmar::launcher {

const char* splashImagePath(int nKind)
{
    switch (nKind) {
    case UpdatingLauncher: return ":/images/launcher/LauncherLogo_UpdatingLauncher.png";
    case LaunchingClient: return ":/images/launcher/CorvaneLogo_LaunchingClient.png";
    default: return ":/images/launcher/LauncherLogo_QT.png";
    }
}

} // namespace velmar::launcher
