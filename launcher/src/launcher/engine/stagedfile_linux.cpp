#include "stagedfile.h"

#include "crashpoint.h"

#include "shared/checkedfileio.h"
#include "shared/filesystemhelper.h"
#include "shared/ioerror.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <stdio.h>
#include <unistd.h>

namespace velmar::launcher {

QString startStagingCopy(const QString& sPath)
{
    const QString sStaging = sPath + QLatin1String(".new");
    shared::TFileSystemHelper().removePath(sStaging);
    const QFileInfo oInfo(sPath);
    if (oInfo.isFile() && !oInfo.isSymLink() && !QFile::copy(sPath, sStaging))
        throw shared::ioError(sStaging, QStringLiteral("couldn't copy the installed file"));
    return sStaging;
}

void commitStagedFile(const QString& sStaging, const QString& sFinal)
{
    {
        QFile oStaging(sStaging);
        if (!oStaging.open(QIODevice::ReadOnly))
            throw shared::ioError(sStaging, oStaging.errorString());
        shared::syncFile(oStaging);
    }
    const QString sOld = sFinal + QLatin1String(".old");
    const QFileInfo oFinal(sFinal);
    shared::TFileSystemHelper oHelper;
    if (oFinal.isFile() && !oFinal.isSymLink()) {
        oHelper.removePath(sOld);
        if (::link(QFile::encodeName(sFinal).constData(), QFile::encodeName(sOld).constData()) != 0)
            throw shared::ioError(sOld, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (oFinal.exists() || oFinal.isSymLink()) {
        oHelper.removePath(sFinal);
    }
    crashPoint("old-kept");
    if (::rename(QFile::encodeName(sStaging).constData(), QFile::encodeName(sFinal).constData()) != 0)
        throw shared::ioError(sFinal, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace velmar::launcher
