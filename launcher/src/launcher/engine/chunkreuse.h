#pragma once

#include "filetodownload.h"

#include <QString>

namespace velmar::launcher {

class TPackageConfigurationReader;
class TScanProgress;

// What a chunk check found and did.
struct TReuseResult
{
    // At least one chunk of the file was found in the installed file.
    bool m_bFound = false;
    // The file was changed on disk (chunks moved, or cut to its new size).
    bool m_bChanged = false;
};

// Finds the chunk records of oFile that already exist anywhere in the file at
// sPath, moves those at a wrong offset into place (saving sources that a move
// would overwrite to a temporary file first), cuts the file to nUnpackedSize,
// and sets oFile's positionsToWrite to the records still missing. When nothing
// is found the file is left untouched.
//
// The installed file's chunks come from pInstalled's description of the same
// file when it is given, names at least two chunks and matches the file's size
// on disk (the file is then not read); otherwise from content-defined chunking
// of the file. Every read and write is checked: a failure throws the "I/O error
// on file" runtime error.
TReuseResult reuseChunks(const QString& sPath, TFileToDownload& oFile, shared::TFileSize nUnpackedSize,
                         const TPackageConfigurationReader* pInstalled, TScanProgress& oProgress);

} // namespace velmar::launcher
