#pragma once

#include "confinedfolder.h"

#include <QString>

namespace shared {

// Looks at the files of a folder one after another, as a document lists them:
// the files in a folder found missing are missing too, without a look of their
// own. For a fresh install of many small files, one failing path resolution a
// folder instead of one a file.
class TStatusLookup
{
public:
    explicit TStatusLookup(const TConfinedFolder& oFolder) : m_oFolder(oFolder) {}

    TConfinedFolder::TStatus status(const QString& sRelative);

private:
    const TConfinedFolder& m_oFolder;
    QString m_sMissingFolder;
};

} // namespace shared
