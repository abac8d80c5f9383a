#pragma once

namespace velmar::launcher {

// The built-in settings (":/settings/") live in a static library, whose
// registration the linker would otherwise drop: call this before they are
// read. Idempotent.
void initLauncherResources();

} // namespace velmar::launcher
