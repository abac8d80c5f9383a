#include "spacecheck.h"

#include "installationmode.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"
#include "launcher/documents/updatesize.h"

#include "shared/confinedfolder.h"
#include "shared/statuslookup.h"

#include <QLocale>

namespace velmar::launcher {

QString spaceProblem(const shared::TConfinedFolder& oFolder, const TPackageConfigurationReader& oTarget,
                     const TPackageConfigurationReader& oInstalled, int nInstallationMode)
{
    using EEntry = shared::TConfinedFolder::EEntry;
    // Paths the installed description gives have passed no check: an unsafe one counts nothing.
    shared::TStatusLookup oLookup(oFolder);
    const shared::TFileSize nNeeded = roomNeeded(
        oTarget, oInstalled,
        [&oLookup](const QString& sPath) {
            if (!isSafeRelativePath(sPath))
                return shared::TFileSize(0);
            const shared::TConfinedFolder::TStatus oStatus = oLookup.status(sPath);
            return oStatus.m_eEntry == EEntry::File ? oStatus.m_nSize : shared::TFileSize(0);
        },
        nInstallationMode == kLauncherUpdatingItself);
    const shared::TFileSize nAvailable = oFolder.availableSpace();
    if (nNeeded <= nAvailable)
        return QString();
    const QLocale oLocale(QLocale::English);
    return QStringLiteral("There is not enough free disk space in %1: the installation needs at least %2 bytes more, "
                          "and %3 bytes are free.")
        .arg(oFolder.path(), oLocale.toString(nNeeded), oLocale.toString(nAvailable));
}

} // namespace velmar::launcher
