#pragma once

#include "shared/filesize.h"
#include "shared/sha256digest.h"

#include <QString>

#include <optional>

#include <simdjson.h>

namespace velmar::launcher {

// Conversions of values from the package and asset documents, which come from
// the network: an absent value (null), one of the wrong type or one out of
// range gives the default, never an exception. Numbers follow the rules the
// documents have always been read by, which held every number that is no
// 64-bit integer as a double.

// A string, or the empty text.
QString elementText(const simdjson::dom::element* pValue);
// A bool, or bDefault.
bool elementBool(const simdjson::dom::element* pValue, bool bDefault);
// A non-negative whole number, or a text of decimal digits, that fits in 64
// bits; 0 for an absent value; nothing for any other value (negative,
// fractional, too large, other text or type).
std::optional<shared::TFileSize> elementFileSize(const simdjson::dom::element* pValue);
// A whole number that fits in 32 bits, or nothing.
std::optional<qint32> elementInt32(const simdjson::dom::element* pValue);
// 64 hexadecimal digits in either case; anything else gives no digest.
shared::TSha256Digest elementDigest(const simdjson::dom::element* pValue);
// A number as text: a whole number within 64-bit integers in decimal digits,
// any other in the shortest form that reads back as the same double; a string
// as it is; anything else the empty text.
QString elementNumberOrText(const simdjson::dom::element* pValue);
// The value as the document wrote it, as JSON text without its spaces; a long
// one shortened, so that a message can name it.
QString elementJson(const simdjson::dom::element* pValue);

} // namespace velmar::launcher
