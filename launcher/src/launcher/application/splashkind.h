#pragma once

namespace velmar::launcher {

enum class ESplashKind { Loading = 0, UpdatingLauncher = 1, LaunchingClient = 2 };

// The compiled-in picture of a splash kind.
const char* splashImagePath(ESplashKind eKind);

} // namespace velmar::launcher
