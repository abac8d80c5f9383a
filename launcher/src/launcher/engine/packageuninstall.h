#pragma once

#include "shared/filesize.h"

#include <QString>
#include <QStringList>

namespace velmar::launcher {

class TLauncherSettings;

// Removes an installed package from its folder: exactly the files that its
// markers (the installed, partial and asset documents) list, then the markers
// (those three and the launcher's "default"), then the folders that this emptied, the package folder included; nothing
// else. A path a document gives that is unsafe, reserved, or that leads through
// a link out of the folder is left alone. Broken off, it can run again: the
// markers go last, and files already gone are no error.
class TPackageUninstall
{
public:
    TPackageUninstall(QString sFolder, const TLauncherSettings& oSettings);

    // Reads the markers; false, with errorString(), when none is there or one
    // cannot be read.
    bool plan();
    // Bytes the listed files take on disk now: the space the uninstall frees.
    shared::TFileSize bytesFreed() const { return m_nBytes; }
    int fileCount() const { return m_lFiles.size(); }

    // False, with errorString() naming the first file that stayed, when a file
    // or marker could not be deleted; the markers then stay too.
    bool run();
    const QString& errorString() const { return m_sError; }

private:
    QString m_sFolder;
    QStringList m_lMarkers;
    QStringList m_lReserved;
    // Relative to the folder, each once, only those present.
    QStringList m_lFiles;
    shared::TFileSize m_nBytes = 0;
    QString m_sError;
};

} // namespace velmar::launcher
