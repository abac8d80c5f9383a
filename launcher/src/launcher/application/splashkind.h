#pragma once

namespace velmar::launcher {

enum ESplashKind { Loading = 0, UpdatingLauncher = 1, LaunchingClient = 2 };

// The compiled-in picture of a splash kind; unknown kinds show the Loading one.
const char* splashImagePath(int nKind);

} // namespace velmar::launcher
