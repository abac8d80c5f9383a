#pragma once

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

} // namespace velmar::launcher
