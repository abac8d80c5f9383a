#pragma once

#include <QString>

#include <vector>

namespace velmar::launcher {

// The decisions of a launcher run, as functions of the facts they need. Packages
// are named by their position in the metadata's list of packages; -1 is none.

// Whether the launcher updates itself before anything else: unless the command
// line says to skip it, whenever the metadata publishes a launcher build for this
// platform whose version differs from ours in any way (an empty one reads "?").
bool selfUpdateWanted(bool bSkipSelfUpdate, bool bLauncherBuildPublished, const QString& sPublishedVersion,
                      const QString& sOwnVersion);

// What the launcher knows at the decision point.
struct TStartupFacts
{
    bool m_bFirstLaunch = false;
    bool m_bShowUi = false;
    // The patch option was given with a value.
    bool m_bPatchRequested = false;
    // The package whose executable the patch option names.
    int m_nPatchPackage = -1;
    // Packages whose folder held "FORCE_PATCH", in metadata order.
    std::vector<int> m_lForcedPatches;
    // Packages marked to install automatically, in metadata order.
    std::vector<int> m_lInstallAutomatically;
    // The first package marked default, when it is installed and current.
    int m_nCurrentDefault = -1;
};

// What the launcher does at the decision point, in this order: show the window,
// make a package the default, tell the player that the patch has no package,
// install or update packages, start a client.
struct TStartupPlan
{
    bool m_bShowWindow = false;
    int m_nNewDefault = -1;
    bool m_bPatchNotFound = false;
    std::vector<int> m_lInstall;
    int m_nStart = -1;
};

// The first match wins: a first launch installs the automatic packages and makes
// the first of them the default; a patch request or forced patches update those
// packages; "show-ui" shows the window; otherwise the current default starts at
// once, and without one the window shows.
TStartupPlan planStartup(const TStartupFacts& oFacts);

// What the launcher knows when every update it started has finished.
struct TUpdatesFinishedFacts
{
    bool m_bPreventDefaultAutostart = false;
    bool m_bFirstLaunch = false;
    // The first package marked default, when it is installed and current.
    int m_nCurrentDefault = -1;
    // The package whose executable the patch option names.
    int m_nPatchPackage = -1;
    // That package is installed, current and was found sound in this run.
    bool m_bPatchPackageSound = false;
};

// The client to start then, or -1 to leave the window up: the current default
// after a first launch, the patched client after a patch that went through.
int clientToStartAfterUpdates(const TUpdatesFinishedFacts& oFacts);

} // namespace velmar::launcher
