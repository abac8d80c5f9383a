#include "launcheroptions.h"

#include <QCommandLineParser>

namespace velmar::launcher {

QCommandLineOption launcherOption(ELauncherOption eOption)
{
    switch (eOption) {
    case ELauncherOption::FirstLaunch:
        return QCommandLineOption({QStringLiteral("l"), QStringLiteral("first-launch")},
                                  QStringLiteral("Automatically download default packages when starting up."));
    case ELauncherOption::SkipSelfUpdate:
        return QCommandLineOption({QStringLiteral("s"), QStringLiteral("skip-selfupdate")},
                                  QStringLiteral("Do not perform self-update check on launch."));
    case ELauncherOption::ShowUi:
        return QCommandLineOption({QStringLiteral("u"), QStringLiteral("show-ui")},
                                  QStringLiteral("Show list of available packages after initial checks."));
    case ELauncherOption::Patch:
        return QCommandLineOption({QStringLiteral("p"), QStringLiteral("patch")},
                                  QStringLiteral("Start update of <patchexecutable> without user interaction."),
                                  QStringLiteral("patchexecutable"));
    case ELauncherOption::InstallDesktopEntry:
        return QCommandLineOption(
            QStringLiteral("install-desktop-entry"),
            QStringLiteral("Add this launcher to the desktop's application menu for the current user (a .desktop file "
                           "with an \"Open the launcher\" action, and its icon, below $XDG_DATA_HOME, by default "
                           "~/.local/share), then exit. Needs no network and no display."));
    case ELauncherOption::Help:
        break;
    }
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
}

QList<QCommandLineOption> allLauncherOptions()
{
    QList<QCommandLineOption> lOptions;
    for (const ELauncherOption eOption : {ELauncherOption::FirstLaunch, ELauncherOption::SkipSelfUpdate, ELauncherOption::ShowUi,
                                          ELauncherOption::Patch, ELauncherOption::InstallDesktopEntry, ELauncherOption::Help})
        lOptions << launcherOption(eOption);
    return lOptions;
}

QString launcherHelpText()
{
    QCommandLineParser oParser;
    oParser.setApplicationDescription(QStringLiteral(
        "Installs, updates and starts the Corvane Online clients. Without options a current default client starts at "
        "once; otherwise the window opens."));
    oParser.addOptions(allLauncherOptions());
    return oParser.helpText();
}

} // namespace velmar::launcher
