#pragma once

#include "hint.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>
#include <vector>

namespace shared {

// The hints of a hints document (a JSON array of objects), in document order,
// without those that have no rich text. An unparsable document gives none and
// a warning; a top level that is not an array gives none.
std::vector<THint> parseHints(const QByteArray& aDocument);

// The hint to show at oNow: the first emergency hint, whatever its dates;
// otherwise, among the hints without an "emergency" key that are inside their
// display window (bounds inclusive), the first one that has a date, or else
// the one the clock points at (epoch milliseconds modulo their number).
std::optional<THint> selectHint(const std::vector<THint>& lHints, const QDateTime& oNow);

} // namespace shared
