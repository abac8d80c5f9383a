#pragma once

#include <QMetaType>

namespace velmar::launcher {

enum EPackageDownloaderError : qint32
{
    NoError = 0,
    DownloadFailed = 1,
    SavingFailed = 2,
    VerificationFailed = 3,
    // The package's documents or folder were refused before anything was changed.
    InvalidPackage = 4,
    // Another program (another launcher, corvane-install) is changing the folder.
    FolderInUse = 5,
};

} // namespace velmar::launcher

Q_DECLARE_METATYPE(velmar::launcher::EPackageDownloaderError)
