#pragma once

#include "launcher/documents/updatesize.h"

#include "shared/filesize.h"

#include <QString>

#include <optional>

namespace velmar::launcher {

// What a Download or Update of a package will cost, as the window tells it
// before the click: estimated from the installed and the published documents.
struct TPackageSizeEstimate
{
    TUpdateSize m_oSize;
    // The version the update starts from; empty when nothing installed counts.
    QString m_sFromVersion;
    // An installation broken off: part of it may be there already, so the
    // figures are the most it can take.
    bool m_bUpperBound = false;
    // The room the package folder's file system leaves to users; unknown when empty.
    std::optional<shared::TFileSize> m_nFreeBytes;
};

// The button's tooltip below sLabel ("Download", "Update"): "Downloads 812.0 MB,
// needs 1.9 GB on disk" ("needs 5.0 MB more on disk" for an update), and when
// the room is lacking a last line "Not enough free space: 1.2 GB free".
QString packageSizeToolTip(const QString& sLabel, const TPackageSizeEstimate& oEstimate);
// The note under an update's version: "from 1.0.0 · 23.4 MB to download", the
// figure and its unit joined by a no-break space.
QString updateNoteText(const TPackageSizeEstimate& oEstimate);
// Whether the folder's file system is known to lack the room the estimate needs.
bool lacksRoom(const TPackageSizeEstimate& oEstimate);

} // namespace velmar::launcher
