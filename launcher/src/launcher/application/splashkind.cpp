#include "splashkind.h"

namespace velmar::launcher {

const char* splashImagePath(ESplashKind eKind)
{
    switch (eKind) {
    case ESplashKind::UpdatingLauncher: return ":/images/launcher/LauncherLogo_UpdatingLauncher.png";
    case ESplashKind::LaunchingClient: return ":/images/launcher/CorvaneLogo_LaunchingClient.png";
    case ESplashKind::Loading: break;
    }
    return ":/images/launcher/LauncherLogo_QT.png";
}

} // namespace velmar::launcher
