// A stand-in game client for the demo CDN and the launcher's tests: it
// announces itself the way a real client must (the client-running marker),
// shows a small window, says how it was started, and ends after a while.
//
// CORVANE_DEMO_CLIENT_RECORD names a file that receives its arguments and
// working folder, one per line. CORVANE_DEMO_CLIENT_SECONDS sets its lifetime;
// 0 means: until the launcher that started it has ended.

#include "launcher/application/clientrunningmarker.h"
#include "launcher/documents/launcherversion.h"

#include "shared/namedfilemapping.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTextStream>
#include <QTimer>

using namespace velmar::launcher;

namespace {

void recordStart(const QString& sPath, const QStringList& lArguments)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QTextStream oOut(&oFile);
    oOut << "cwd " << QDir::currentPath() << '\n';
    for (const QString& sArgument : lArguments)
        oOut << "arg " << sArgument << '\n';
}

} // namespace

int main(int nArgc, char** ppArgv)
{
    QApplication oApplication(nArgc, ppArgv);
    QTextStream oOut(stdout);
    TClientRunningMarker oMarker;
    if (!oMarker.isHeld()) {
        oOut << "Corvane Online demo client: another client is running already\n";
        return 1;
    }
    const QStringList lArguments = oApplication.arguments().mid(1);
    if (qEnvironmentVariableIsSet("CORVANE_DEMO_CLIENT_RECORD"))
        recordStart(qEnvironmentVariable("CORVANE_DEMO_CLIENT_RECORD"), lArguments);
    oOut << "Corvane Online demo client: running with the arguments " << lArguments.join(QLatin1Char(' ')) << '\n';
    oOut.flush();

    QLabel oWindow(QStringLiteral("<h2>Corvane Online</h2><p>demo client</p><p>%1</p>")
                       .arg(lArguments.join(QLatin1Char(' ')).toHtmlEscaped()));
    oWindow.setWindowTitle(QStringLiteral("Corvane Online demo client"));
    oWindow.setMargin(24);
    oWindow.show();

    bool bOk = false;
    const int nSeconds = qEnvironmentVariableIntValue("CORVANE_DEMO_CLIENT_SECONDS", &bOk);
    if (bOk && nSeconds == 0) {
        QTimer* pWatch = new QTimer(&oApplication);
        QObject::connect(pWatch, &QTimer::timeout, &oApplication, [] {
            if (!shared::TNamedFileMapping::exists(launcherRunningMarkerName()))
                QCoreApplication::quit();
        });
        pWatch->start(50);
        // Never outlive a launcher that forgot to end by much.
        QTimer::singleShot(120 * 1000, &oApplication, &QCoreApplication::quit);
    } else {
        QTimer::singleShot((bOk ? nSeconds : 5) * 1000, &oApplication, &QCoreApplication::quit);
    }
    return oApplication.exec();
}
