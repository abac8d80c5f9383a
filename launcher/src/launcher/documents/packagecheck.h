#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace velmar::launcher {

class TLauncherSettings;
class TPackageConfigurationReader;

// The largest unpacked size of one download (a chunk, or a file fetched whole):
// each is held in memory while it is unpacked, checked and written.
constexpr quint64 kMaximumDownloadSize = quint64(64) << 20;
// The largest packed size of one download: room for any packing method's
// overhead on bytes that do not compress.
constexpr quint64 kMaximumPackedSize = kMaximumDownloadSize + (kMaximumDownloadSize >> 3);

// Whether a path from a document may name a file inside a package folder: not
// empty, relative, and made of components none of which is empty, "." or "..".
bool isSafeRelativePath(const QString& sPath);

// Why a configuration cannot be installed, as one line for the user; empty when
// it can. Refused: a document without a file list, sizes or chunk indices that
// are none, unsafe paths and paths or names longer than the file system takes,
// a path named twice or used both as a file and as a folder, a path among
// lReservedNames (the folder's own marker files) or below one, chunk indices out of range,
// chunk sizes that do not add up to the file size, missing hashes or addresses,
// downloads above kMaximumDownloadSize or kMaximumPackedSize, one address given
// to two chunks or one chunk given two sizes, and addresses the engine may not
// fetch: only http and https, and with bLocalMedia, for a document read from
// a folder, the regular files below that folder (no links).
QString configurationProblem(const TPackageConfigurationReader& oConfiguration, const QStringList& lReservedNames,
                             bool bLocalMedia);

// Why sRelativePath cannot be written below sFolder, or empty: refused when a
// folder on the way is a link that leads out of sFolder. A link as the last
// component is not followed by the engine (it is replaced), so it is no problem.
QString pathProblem(const QString& sFolder, const QString& sRelativePath);

// The folder in every package folder that keeps the bytes of chunks partly
// received, one file per chunk, named by its packed hash in hex.
QString partialChunksFolder();

// The marker files the launcher keeps in every package folder, and the folder
// of partly received chunks.
QStringList reservedFileNames(const TLauncherSettings& oSettings);

// Whether sPath is one of lReservedNames or lies below one of them.
bool isReservedPath(const QString& sPath, const QStringList& lReservedNames);

// configurationProblem with the folder's marker names, then pathProblem and the
// length of the whole path for every file: all that must hold before the
// engine touches oFolder.
QString installProblem(const QDir& oFolder, const TPackageConfigurationReader& oConfiguration,
                       const TLauncherSettings& oSettings, bool bLocalMedia);

// Why the launcher's own package cannot be installed into the launcher's folder:
// a file of it is, or lies under, one of lOwnData (launcherOwnData()), or its name
// leaves no room for the suffix of its staging and fallback copies. Empty when it can.
QString launcherOwnDataProblem(const TPackageConfigurationReader& oConfiguration, const QStringList& lOwnData);

// Whether sRelativePath is one of lOwnData or lies under one of them.
bool isLauncherOwnData(const QString& sRelativePath, const QStringList& lOwnData);

// Why a package's folder name cannot be used: empty, ".", "..", or holding a separator.
QString folderNameProblem(const QString& sDirectoryName);

} // namespace velmar::launcher
