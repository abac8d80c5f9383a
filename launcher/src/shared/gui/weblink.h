#pragma once

#include <QUrl>

namespace shared {

// Whether a link taken from a downloaded document may go to the system browser:
// http and https addresses with a host, nothing else (no files, no programs).
bool isWebLink(const QUrl& oUrl);

// Opens a web link in the system browser; any other link is refused with a
// warning. Returns whether the link was handed on.
bool openWebLink(const QUrl& oUrl);

} // namespace shared
