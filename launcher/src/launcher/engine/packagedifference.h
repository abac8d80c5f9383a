#pragma once

#include "launcher/documents/filedescription.h"
#include "filetodownload.h"

#include <QMetaType>
#include <QString>

#include <vector>

namespace velmar::launcher {

// What an install or update must do to a package folder.
struct TPackageDifference
{
    std::vector<TFileToDownload> m_lFilesToDownload;
    std::vector<TFileDescription> m_lFilesToDelete;
    // Complete files whose whole hash the scan checked.
    std::vector<QString> m_lCheckedFiles;
    // Set when the documents were refused: nothing was changed on disk, and the
    // installation fails with this reason.
    QString m_sError;
    // Set when the installed files could not be examined (a file error).
    QString m_sDiskError;
};

} // namespace velmar::launcher

Q_DECLARE_METATYPE(velmar::launcher::TPackageDifference)
