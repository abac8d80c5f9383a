#pragma once

#include <QString>

// Where the build put the executables under test (bin/ of the build folder).
inline QString builtExecutable(const QString& sName)
{
    const QByteArray aDir = qgetenv("CORVANE_BIN_DIR");
    return (aDir.isEmpty() ? QStringLiteral(CORVANE_BINARY_DIR "/bin") : QString::fromLocal8Bit(aDir)) + QLatin1Char('/') + sName;
}
