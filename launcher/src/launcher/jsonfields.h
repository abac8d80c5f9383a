#pragma once

#include "shared/filesize.h"
#include "shared/sha256digest.h"

#include <QJsonValue>
#include <QString>

namespace velmar::launcher {

// Conversions of values from configuration documents, which come from the
// network: a value of the wrong type or out of range gives the default, never
// an exception.

// A string, or the empty text.
QString jsonText(const QJsonValue& oValue);
// A bool, or bDefault.
bool jsonBool(const QJsonValue& oValue, bool bDefault);
// A non-negative whole number, or a text of decimal digits, that fits in 64
// bits; anything else (negative, fractional, too large, other text) gives 0.
shared::TFileSize jsonFileSize(const QJsonValue& oValue);
// A whole number that fits in 32 bits, or nDefault.
qint32 jsonInt32(const QJsonValue& oValue, qint32 nDefault);
// 64 hexadecimal digits in either case; anything else gives no digest.
shared::TSha256Digest jsonDigest(const QJsonValue& oValue);

} // namespace velmar::launcher
