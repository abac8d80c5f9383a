#pragma once

#include <QUrl>

namespace shared {

// Adds the query item "nocache" with 32 random letters and digits, behind any
// items already there (an existing "nocache" item is kept too). An invalid URL
// comes back unchanged.
QUrl appendNocacheParameter(QUrl oUrl);

} // namespace shared
