#pragma once

#include <QString>
#include <QStringList>

namespace velmar::launcher {

// The client keeps its graphics interface here, relative to its package folder.
QString clientSettingsRelativePath();

// "GraphicsAPI" of the client's settings file, or 0 when it cannot be read or
// is no whole number.
int readGraphicsApi(const QString& sSettingsFile);

// The client's command line: the build's parameters, one graphics flag and,
// when the package was found sound in this run, "--package-is-up-to-date" last.
QStringList clientArguments(const QStringList& lParameters, int nGraphicsApi, bool bUpToDate);

// Why sExecutable cannot be started, as one line for the player; empty when it can.
QString clientExecutableProblem(const QString& sPackageName, const QString& sExecutable);

} // namespace velmar::launcher
