#pragma once

#include <QByteArray>
#include <QString>

namespace velmar::launcher {

// The values of a CDN trace answer that the diagnostics keep.
struct TCdnTraceFields
{
    QString sFl;
    QString sTs;
    QString sColo;
    QString sIp;
};

// Reads lines of key=value (UTF-8, keys without regard to case, values trimmed);
// a line that is not exactly one key and one value is skipped, a later line
// wins over an earlier one, and a value the answer lacks stays empty.
TCdnTraceFields parseCdnTrace(const QByteArray& aData);

} // namespace velmar::launcher
