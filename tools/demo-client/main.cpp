// A stand-in game client for the demo CDN: it announces itself the way a real
// client must (the client-running marker), says how it was started, and ends
// after a while.

#include "launcher/clientrunningmarker.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

int main(int nArgc, char** ppArgv)
{
    QCoreApplication oApplication(nArgc, ppArgv);
    QTextStream oOut(stdout);
    velmar::launcher::TClientRunningMarker oMarker;
    if (!oMarker.isHeld()) {
        oOut << "Corvane Online demo client: another client is running already\n";
        return 1;
    }
    oOut << "Corvane Online demo client: running with the arguments "
         << oApplication.arguments().mid(1).join(QLatin1Char(' ')) << '\n';
    oOut.flush();

    bool bOk = false;
    const int nSeconds = qEnvironmentVariableIntValue("CORVANE_DEMO_CLIENT_SECONDS", &bOk);
    QTimer::singleShot((bOk ? nSeconds : 10) * 1000, &oApplication, &QCoreApplication::quit);
    return oApplication.exec();
}
