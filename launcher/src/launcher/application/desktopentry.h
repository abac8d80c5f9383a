#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace velmar::launcher {

// The name the entry and the icon are installed under.
inline const QString kDesktopEntryName = QStringLiteral("corvane-launcher");

// The current user's data folder as freedesktop defines it: $XDG_DATA_HOME when
// it is an absolute path, otherwise ~/.local/share.
QString userDataFolder();

// The freedesktop desktop entry of the launcher at sExecutable: the game's
// name, its icon, the launcher as command, and the action "Open the launcher",
// which starts it with --show-ui. Throws std::runtime_error for a path the
// entry cannot express (a control character in it).
QByteArray desktopEntryText(const QString& sExecutable);

// Writes that entry to DATA/applications/corvane-launcher.desktop and the
// launcher's icon in every drawn size to DATA/icons/hicolor/NxN/apps/, each file
// replaced whole. Returns the paths written; throws std::runtime_error naming
// the file that could not be written.
QStringList installDesktopEntry(const QString& sExecutable, const QString& sDataFolder);

} // namespace velmar::launcher
