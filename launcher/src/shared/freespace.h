#pragma once

#include "filesize.h"

#include <QString>

#include <optional>

namespace shared {

// The bytes the file system that holds sPath leaves to users (statvfs
// f_bavail), asked of sPath or, where it does not exist yet (a package not yet
// installed), of its nearest existing parent folder. nullopt when not even the
// root answers.
std::optional<TFileSize> freeSpaceAt(const QString& sPath);

} // namespace shared
