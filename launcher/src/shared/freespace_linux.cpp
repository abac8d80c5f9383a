#include "freespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/statvfs.h>

#include <cerrno>

namespace shared {

std::optional<TFileSize> freeSpaceAt(const QString& sPath)
{
    QString sAsked = QDir::cleanPath(QFileInfo(sPath).absoluteFilePath());
    for (;;) {
        struct statvfs oStatus {};
        if (::statvfs(QFile::encodeName(sAsked).constData(), &oStatus) == 0)
            return TFileSize(oStatus.f_bavail) * TFileSize(oStatus.f_frsize);
        // Only a folder that is not there yet sends the question upwards; any
        // other failure leaves the figure unknown rather than taking another disk's.
        const QString sParent = QFileInfo(sAsked).path();
        if ((errno != ENOENT && errno != ENOTDIR) || sParent == sAsked)
            return std::nullopt;
        sAsked = sParent;
    }
}

} // namespace shared
