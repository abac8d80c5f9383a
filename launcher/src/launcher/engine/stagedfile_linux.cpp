#include "stagedfile.h"

#include "crashpoint.h"

#include "shared/checkedfile.h"
#include "shared/checkedfileio.h"
#include "shared/confinedfolder.h"
#include "shared/ioerror.h"


namespace velmar::launcher {

namespace {

constexpr qint64 kCopyBlockSize = qint64(1) << 20;

void openOrThrow(shared::TCheckedFile& oFile, const shared::TConfinedFolder& oFolder, const QString& sPath,
                 QIODevice::OpenMode eMode)
{
    if (!oFile.open(oFolder, sPath, eMode))
        throw shared::ioError(oFolder.filePath(sPath), QStringLiteral("couldn't open it: %1").arg(oFile.errorString()));
}

} // namespace

QString stagingPath(const QString& sPath)
{
    return sPath + QLatin1String(".new");
}

QString startStagingCopy(const shared::TConfinedFolder& oFolder, const QString& sPath)
{
    const QString sStaging = stagingPath(sPath);
    oFolder.removePath(sStaging);
    if (oFolder.status(sPath).m_eEntry != shared::TConfinedFolder::EEntry::File)
        return sStaging;
    shared::TCheckedFile oSource, oCopy;
    openOrThrow(oSource, oFolder, sPath, QIODevice::ReadOnly);
    openOrThrow(oCopy, oFolder, sStaging, QIODevice::ReadWrite | QIODevice::Truncate);
    QByteArray aBlock(int(kCopyBlockSize), Qt::Uninitialized);
    for (;;) {
        const qint64 nRead = oSource.read(aBlock.data(), kCopyBlockSize);
        if (nRead < 0)
            throw shared::ioError(oSource.fileName(), QStringLiteral("couldn't read it: %1").arg(oSource.errorString()));
        if (nRead == 0)
            break;
        if (oCopy.write(aBlock.constData(), nRead) != nRead)
            throw shared::ioError(oCopy.fileName(), QStringLiteral("couldn't write it: %1").arg(oCopy.errorString()));
    }
    return sStaging;
}

void commitStagedFile(const shared::TConfinedFolder& oFolder, shared::TCheckedFile& oStaged, const QString& sFinal)
{
    shared::syncFile(oStaged);
    const QString sOld = sFinal + QLatin1String(".old");
    const shared::TConfinedFolder::EEntry eFinal = oFolder.status(sFinal).m_eEntry;
    if (eFinal == shared::TConfinedFolder::EEntry::File) {
        oFolder.removePath(sOld);
        oFolder.link(sFinal, sOld);
    } else if (eFinal != shared::TConfinedFolder::EEntry::Missing) {
        oFolder.removePath(sFinal);
    }
    crashPoint("old-kept");
    oFolder.rename(stagingPath(sFinal), sFinal);
}

void commitStagedFile(const shared::TConfinedFolder& oFolder, const QString& sFinal)
{
    shared::TCheckedFile oStaged;
    openOrThrow(oStaged, oFolder, stagingPath(sFinal), QIODevice::ReadOnly);
    commitStagedFile(oFolder, oStaged, sFinal);
}

} // namespace velmar::launcher
