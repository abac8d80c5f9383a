#include "cdntracefields.h"

#include <QStringList>

namespace velmar::launcher {

TCdnTraceFields parseCdnTrace(const QByteArray& aData)
{
    TCdnTraceFields oFields;
    const QStringList lLines = QString::fromUtf8(aData).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& sLine : lLines) {
        const QStringList lParts = sLine.split(QLatin1Char('='), Qt::SkipEmptyParts);
        if (lParts.size() != 2)
            continue;
        const QString& sKey = lParts[0];
        const QString sValue = lParts[1].trimmed();
        if (sKey.compare(QLatin1String("fl"), Qt::CaseInsensitive) == 0)
            oFields.sFl = sValue;
        else if (sKey.compare(QLatin1String("ts"), Qt::CaseInsensitive) == 0)
            oFields.sTs = sValue;
        else if (sKey.compare(QLatin1String("colo"), Qt::CaseInsensitive) == 0)
            oFields.sColo = sValue;
        else if (sKey.compare(QLatin1String("ip"), Qt::CaseInsensitive) == 0)
            oFields.sIp = sValue;
    }
    return oFields;
}

} // namespace velmar::launcher
