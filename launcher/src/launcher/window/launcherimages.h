#pragma once

namespace velmar::launcher {

// The window's pictures (":/images/launcher/") live in a static library, whose
// registration the linker would otherwise drop: call this before the first
// picture is drawn. Idempotent.
void initLauncherImages();

} // namespace velmar::launcher
