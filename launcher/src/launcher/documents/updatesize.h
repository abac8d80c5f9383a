#pragma once

#include "shared/filesize.h"

#include <QString>

#include <functional>

namespace velmar::launcher {

class TPackageConfigurationReader;

// What bringing a folder from one version to another costs, told from the two
// versions' documents alone.
struct TUpdateSize
{
    int m_nUnchanged = 0;
    int m_nChanged = 0;
    int m_nNew = 0;
    // Files fetched as their own packed form, and their packed bytes.
    int m_nWholeFiles = 0;
    shared::TFileSize m_nWholeBytes = 0;
    // Chunks fetched for files of two or more chunks, and their packed bytes.
    int m_nChunks = 0;
    shared::TFileSize m_nChunkBytes = 0;
    // The room the new version needs beyond what the old one takes (roomNeeded()).
    shared::TFileSize m_nRoomBytes = 0;

    int downloads() const { return m_nWholeFiles + m_nChunks; }
    shared::TFileSize fetchedBytes() const { return m_nWholeBytes + m_nChunkBytes; }
};

// The downloads and packed bytes that take a launcher from oInstalled to
// oTarget by its reuse rule, file by file of oTarget: nothing for a file whose
// path and unpacked hash are unchanged; a changed or new file of fewer than two
// chunks whole (its packed form); any other file those of its chunks whose
// unpacked hash the installed file of the same path lacks. Each address, whole
// file or chunk, counts once, as the launcher fetches it once. An empty
// oInstalled (nothing installed) makes it the whole package. The room is
// roomNeeded() with the sizes oInstalled gives.
TUpdateSize updateSize(const TPackageConfigurationReader& oInstalled, const TPackageConfigurationReader& oTarget);

// The room bringing a folder from oInstalled to oTarget needs at least: per file
// of oTarget the growth over the fnSizeThere(path) bytes that stand at its place
// (with bWholeChangedFiles, the whole new size of every file whose size
// changes, for an update that builds each such file beside the old one), less
// the fnSizeThere bytes of the files oTarget drops, which go before anything is
// fetched. Saturates instead of wrapping.
shared::TFileSize roomNeeded(const TPackageConfigurationReader& oTarget, const TPackageConfigurationReader& oInstalled,
                             const std::function<shared::TFileSize(const QString& sPath)>& fnSizeThere,
                             bool bWholeChangedFiles);

} // namespace velmar::launcher
