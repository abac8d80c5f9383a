#include "standalonecommand.h"

#include "desktopentry.h"
#include "launcheroptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace velmar::launcher {

std::optional<int> runStandaloneCommand(int& nArgc, char** ppArgv)
{
    // Looked for before any application object exists: the window's needs a display.
    bool bStandalone = false;
    for (int nArgument = 1; nArgument < nArgc; ++nArgument) {
        for (const char* pName : {"-h", "--help", "--install-desktop-entry"})
            bStandalone = bStandalone || std::strcmp(ppArgv[nArgument], pName) == 0;
    }
    if (!bStandalone)
        return std::nullopt;
    QCoreApplication oApplication(nArgc, ppArgv);
    QCommandLineParser oParser;
    oParser.addOptions(allLauncherOptions());
    oParser.parse(oApplication.arguments());
    if (oParser.isSet(launcherOption(ELauncherOption::Help))) {
        std::fputs(qPrintable(launcherHelpText()), stdout);
        return 0;
    }
    try {
        const QStringList lWritten = installDesktopEntry(QCoreApplication::applicationFilePath(), userDataFolder());
        for (const QString& sPath : lWritten)
            std::printf("wrote %s\n", qPrintable(QDir::toNativeSeparators(sPath)));
        std::printf("Corvane Online is in the application menu; its action \"Open the launcher\" opens the window.\n");
        return 0;
    } catch (const std::exception& oError) {
        std::fprintf(stderr, "corvane-launcher: %s\n", oError.what());
        return 1;
    }
}

} // namespace velmar::launcher
