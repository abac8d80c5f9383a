#include "jsonfields.h"

namespace velmar::launcher {

QString jsonText(const QJsonValue& oValue)
{
    return oValue.isString() ? oValue.toString() : QString();
}

bool jsonBool(const QJsonValue& oValue, bool bDefault)
{
    return oValue.isBool() ? oValue.toBool() : bDefault;
}

} // namespace velmar::launcher
