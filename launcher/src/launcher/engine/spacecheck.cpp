#include "spacecheck.h"

#include "installationmode.h"
#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"

#include "shared/confinedfolder.h"

#include <QLocale>
#include <QSet>

#include <limits>

namespace velmar::launcher {

namespace {

shared::TFileSize saturatingSum(shared::TFileSize nLeft, shared::TFileSize nRight)
{
    return nLeft > std::numeric_limits<shared::TFileSize>::max() - nRight ? std::numeric_limits<shared::TFileSize>::max()
                                                                          : nLeft + nRight;
}

} // namespace

QString spaceProblem(const shared::TConfinedFolder& oFolder, const TPackageConfigurationReader& oTarget,
                     const TPackageConfigurationReader& oInstalled, int nInstallationMode)
{
    using EEntry = shared::TConfinedFolder::EEntry;
    shared::TFileSize nNeeded = 0;
    QSet<QString> lTargetFiles;
    for (const TFileDescription& oFile : oTarget.files()) {
        lTargetFiles.insert(oFile.localFile());
        const shared::TConfinedFolder::TStatus oStatus = oFolder.status(oFile.localFile());
        const shared::TFileSize nThere = oStatus.m_eEntry == EEntry::File ? oStatus.m_nSize : 0;
        if (nInstallationMode == kLauncherUpdatingItself)
            nNeeded = saturatingSum(nNeeded, nThere == oFile.unpackedSize() ? 0 : oFile.unpackedSize());
        else if (oFile.unpackedSize() > nThere)
            nNeeded = saturatingSum(nNeeded, oFile.unpackedSize() - nThere);
    }
    shared::TFileSize nFreed = 0;
    for (const TFileDescription& oFile : oInstalled.files()) {
        if (lTargetFiles.contains(oFile.localFile()) || !isSafeRelativePath(oFile.localFile()))
            continue;
        const shared::TConfinedFolder::TStatus oStatus = oFolder.status(oFile.localFile());
        if (oStatus.m_eEntry == EEntry::File)
            nFreed = saturatingSum(nFreed, oStatus.m_nSize);
    }
    nNeeded = nNeeded > nFreed ? nNeeded - nFreed : 0;
    const shared::TFileSize nAvailable = oFolder.availableSpace();
    if (nNeeded <= nAvailable)
        return QString();
    const QLocale oLocale(QLocale::English);
    return QStringLiteral("There is not enough free disk space in %1: the installation needs at least %2 bytes more, "
                          "and %3 bytes are free.")
        .arg(oFolder.path(), oLocale.toString(nNeeded), oLocale.toString(nAvailable));
}

} // namespace velmar::launcher
