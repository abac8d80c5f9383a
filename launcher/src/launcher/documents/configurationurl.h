#pragma once

#include <QString>
#include <QUrl>

namespace velmar::launcher {

// The address of a document's folder: its URL with the file name removed.
QUrl urlWithoutFileName(const QUrl& oUrl);

// An address from a configuration document, resolved against the base URL of
// that document. An absolute address (one with a scheme) stays as written. A
// relative one keeps the base's scheme, host and port and gets the base path
// followed by its own path, with exactly one "/" between them when neither
// brings one; the query of both is dropped, so cache-busting items of the
// document's own URL never reach the addresses it lists. pRelative, when given,
// learns which of the two the address was.
QUrl resolveAgainstBase(const QUrl& oBase, const QString& sAddress, bool* pRelative = nullptr);

} // namespace velmar::launcher
