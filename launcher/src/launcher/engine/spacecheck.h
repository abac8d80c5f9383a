#pragma once

#include <QString>

namespace shared {
class TConfinedFolder;
}

namespace velmar::launcher {

class TPackageConfigurationReader;

// Why the file system of oFolder has no room for bringing it from oInstalled to
// oTarget, as one line naming both figures; empty when it may have. The space
// counted is a lower bound of what the request needs, so that no request that
// fits is refused: per file the growth over what stands at its place (in the
// launcher's own update, kLauncherUpdatingItself, the whole new size of every file
// whose size changes, as its staging copy stands beside the old version), less
// the files the new version drops, which go before anything is fetched.
// Paths must have passed installProblem().
QString spaceProblem(const shared::TConfinedFolder& oFolder, const TPackageConfigurationReader& oTarget,
                     const TPackageConfigurationReader& oInstalled, int nInstallationMode);

} // namespace velmar::launcher
