#pragma once

#include <QString>

namespace shared {

enum class EFileOperation
{
    Open,
    Read,
    Write,
    Sync,
    Rename,
    Remove,
    CreateFolder,
    Resize,
};

// Every file operation of the install engine passes this gate before it reaches
// the system, so that tests can make any one of them fail. Returns 0, or the
// error number the operation must fail with: in a build with crash points,
// CORVANE_FAIL_FILE_OP=N:EIO (or N:ENOSPC) fails the N-th operation of the
// process and says so on standard error (N:EIO:END counts only operations on
// paths that end with END); a process that never reached its N-th
// tells at its end how many it had. Other builds always return 0.
int fileOperationFault(EFileOperation eOperation, const QString& sFile);

} // namespace shared
