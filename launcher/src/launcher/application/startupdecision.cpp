#include "startupdecision.h"

namespace velmar::launcher {

bool selfUpdateWanted(bool bSkipSelfUpdate, bool bLauncherBuildPublished, const QString& sPublishedVersion,
                      const QString& sOwnVersion)
{
    if (bSkipSelfUpdate || !bLauncherBuildPublished)
        return false;
    return (sPublishedVersion.isEmpty() ? QStringLiteral("?") : sPublishedVersion) != sOwnVersion;
}

TStartupPlan planStartup(const TStartupFacts& oFacts)
{
    TStartupPlan oPlan;
    if (oFacts.m_bFirstLaunch) {
        oPlan.m_bShowWindow = true;
        oPlan.m_lInstall = oFacts.m_lInstallAutomatically;
        if (!oPlan.m_lInstall.empty())
            oPlan.m_nNewDefault = oPlan.m_lInstall.front();
    } else if (oFacts.m_bPatchRequested || !oFacts.m_lForcedPatches.empty()) {
        oPlan.m_bShowWindow = true;
        oPlan.m_lInstall = oFacts.m_lForcedPatches;
        if (oFacts.m_nPatchPackage >= 0)
            oPlan.m_lInstall.push_back(oFacts.m_nPatchPackage);
        oPlan.m_bPatchNotFound = oPlan.m_lInstall.empty();
    } else if (oFacts.m_bShowUi || oFacts.m_nCurrentDefault < 0) {
        oPlan.m_bShowWindow = true;
    } else {
        oPlan.m_nStart = oFacts.m_nCurrentDefault;
    }
    return oPlan;
}

int clientToStartAfterUpdates(const TUpdatesFinishedFacts& oFacts)
{
    if (oFacts.m_bPreventDefaultAutostart)
        return -1;
    if (oFacts.m_bFirstLaunch)
        return oFacts.m_nCurrentDefault;
    return oFacts.m_bPatchPackageSound ? oFacts.m_nPatchPackage : -1;
}

} // namespace velmar::launcher
