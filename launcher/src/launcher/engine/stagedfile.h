#pragma once

#include <QString>

namespace velmar::launcher {

// The launcher updating itself never opens a file of its own folder for
// writing: the running executable cannot be written (and must stay whole until
// its successor is complete). Each changed file is built in a staging copy
// beside it and then renamed over it, the old version kept under ".old".

// Where the new version of sPath is built: a fresh copy of what stands there
// now, so that data worth keeping can be reused in it. Returns its path.
QString startStagingCopy(const QString& sPath);

// Keeps what stands at sFinal as sFinal + ".old" (a hard link, so sFinal never
// goes missing), then renames sStaging over sFinal. Throws the I/O error.
void commitStagedFile(const QString& sStaging, const QString& sFinal);

} // namespace velmar::launcher
