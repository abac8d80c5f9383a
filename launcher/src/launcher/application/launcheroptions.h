#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

namespace velmar::launcher {

// The launcher's command line, one definition for the run and for --help.
enum class ELauncherOption { FirstLaunch, SkipSelfUpdate, ShowUi, Patch, InstallDesktopEntry, Help };

QCommandLineOption launcherOption(ELauncherOption eOption);
QList<QCommandLineOption> allLauncherOptions();
// What --help prints: the usage line, what the launcher does, every option.
QString launcherHelpText();

} // namespace velmar::launcher
