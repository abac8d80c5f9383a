#pragma once

#include "filetodownload.h"

#include <QString>

namespace shared {
class TConfinedFolder;
}

namespace velmar::launcher {

class TInterruption;
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

// Finds the chunk records of oFile that already exist anywhere in the file
// sPath below oFolder, moves those at a wrong offset into place (saving sources that a move
// would overwrite to a temporary file first), cuts the file to nUnpackedSize,
// and sets oFile's positionsToWrite to the records still missing. When nothing
// is found the file is left untouched.
//
// The installed file's chunks come from pInstalled's description of the same
// file when it is given, names at least two chunks and matches the file's size
// on disk (the file is then not read); otherwise from content-defined chunking
// of the file, after which every record still missing is also looked for at its
// own offset (where an earlier run broken off may have written it, behind bytes
// at which the content-defined cuts do not line up).
//
// A file that cannot be read counts as holding nothing, like a missing one: it
// is fetched again. A source chunk that cannot be read for a move stays missing.
// A failed write throws the "I/O error on file" runtime error; a raised
// interruption throws TInterrupted between blocks.
TReuseResult reuseChunks(const shared::TConfinedFolder& oFolder, const QString& sPath, TFileToDownload& oFile, shared::TFileSize nUnpackedSize,
                         const TPackageConfigurationReader* pInstalled, TScanProgress& oProgress,
                         const TInterruption& oInterruption);

// For a file built at sPath below oFolder from oFile's records, some of them kept from the
// disk, that failed its whole-file check: hashes every record at its own offset,
// cuts the file to oFile's size, and sets positionsToWrite to the records whose
// bytes are not there (all of them when the file cannot be read).
void recheckRecordsInPlace(const shared::TConfinedFolder& oFolder, const QString& sPath, TFileToDownload& oFile, const TInterruption& oInterruption);

} // namespace velmar::launcher
