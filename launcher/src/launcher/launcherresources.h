#pragma once

namespace velmar::launcher {

// The resources live in a static library, whose registration the linker would
// otherwise drop: call this before the first ":/" path is used. Idempotent.
void initLauncherResources();

} // namespace velmar::launcher
