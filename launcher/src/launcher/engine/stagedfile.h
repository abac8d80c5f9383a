#pragma once

#include <QString>

namespace shared {
class TCheckedFile;
class TConfinedFolder;
}

namespace velmar::launcher {

// The launcher updating itself never opens a file of its own folder for
// writing: the running executable cannot be written (and must stay whole until
// its successor is complete). Each changed file is built in a staging copy
// beside it and then renamed over it, the old version kept under ".old".
// Paths are relative to the folder.

// Where the new version of sPath is built.
QString stagingPath(const QString& sPath);

// Makes the staging copy of sPath: a fresh copy of what stands there now, so
// that data worth keeping can be reused in it. Returns its path.
QString startStagingCopy(const shared::TConfinedFolder& oFolder, const QString& sPath);

// Flushes the complete staging copy oStaged (open, at stagingPath(sFinal)) to
// the disk, keeps what stands at sFinal as sFinal + ".old" (a hard link, so
// sFinal never goes missing), then renames the copy over sFinal. Throws the I/O error.
void commitStagedFile(const shared::TConfinedFolder& oFolder, shared::TCheckedFile& oStaged, const QString& sFinal);

// The same for a staging copy that is not open.
void commitStagedFile(const shared::TConfinedFolder& oFolder, const QString& sFinal);

} // namespace velmar::launcher
