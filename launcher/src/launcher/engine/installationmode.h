#pragma once

namespace velmar::launcher {

// The values an installationMode takes. It stays a plain int, as the managers,
// installations and downloaders pass it on unchanged.
constexpr int kOrdinaryPackage = 0;
// The launcher updating itself: files of the running launcher that cannot be
// deleted or replaced are moved aside to their path plus ".old".
constexpr int kLauncherUpdatingItself = 1;

} // namespace velmar::launcher
