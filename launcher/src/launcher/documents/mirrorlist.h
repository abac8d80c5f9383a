#pragma once

#include <QJsonValue>
#include <QString>
#include <QUrl>

#include <vector>

namespace velmar::launcher {

// A mirror is a base address that serves a copy of the folder of a build's
// package document: the chunks that document (or its asset document, where it
// lies below that folder) lists at relative addresses may come from there as
// well, since their hashes vouch for their bytes. The documents themselves are
// fetched from their own address only.

// More than this many mirrors is no list a publisher writes.
constexpr int kMaximumMirrors = 8;
// The longest address taken as a mirror, in characters.
constexpr int kMaximumMirrorLength = 2048;

// Adds the mirror sAddress names to lMirrors, for the package document at
// oDocumentUrl. Refused, with the reason returned: an address longer than
// kMaximumMirrorLength, one that is not an absolute http or https address with a
// host, and an http mirror of an https document (a mirror must not weaken the
// channel the documents came through). The document's own folder and an address
// already listed are left out silently. Empty when added or left out.
QString addMirror(std::vector<QUrl>& lMirrors, const QString& sAddress, const QUrl& oDocumentUrl);

// The mirrors of a build's "mirrors" member, for its package document at
// oDocumentUrl. The member is optional, and a hostile one is ignored, with a log
// line, as the metadata's other wrong values are: no list, or a list of more than
// kMaximumMirrors, gives no mirror; a member that is no text or that addMirror()
// refuses is left out.
std::vector<QUrl> readMirrors(const QJsonValue& oValue, const QUrl& oDocumentUrl);

} // namespace velmar::launcher
