#pragma once

#include <QString>

namespace velmar::launcher {

// Set when the build is configured (CORVANE_LAUNCHER_VERSION).
QString launcherVersion();

// Key of the one-byte shared-memory segment that only one launcher may create.
inline QString singleInstanceKey() { return QStringLiteral("1b7a377a-e61e-4016-a479-7054bc72a4f8"); }

// Held by a running launcher, and by a running game client.
inline QByteArray launcherRunningMarkerName() { return QByteArrayLiteral("Corvane-3cee13af-1c7c-4007-a3cf-2636f25b1616"); }
inline QByteArray clientRunningMarkerName() { return QByteArrayLiteral("Corvane-52f3fb16-0d45-45d4-978a-149b5692b074"); }

} // namespace velmar::launcher
