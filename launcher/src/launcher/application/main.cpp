#include "launcherapplication.h"
#include "launcher/documents/launcherversion.h"
#include "logging.h"
#include "standalonecommand.h"

#include "shared/eventloopchoice.h"
#include "shared/firstinstancetester.h"
#include "shared/systemproxies.h"

#include <QDebug>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <memory>
#include <stdexcept>

using namespace velmar::launcher;

int main(int nArgc, char** ppArgv)
{
    try {
        if (const std::optional<int> nExitCode = runStandaloneCommand(nArgc, ppArgv))
            return *nExitCode;
        shared::useSystemProxies();
        shared::useQtEventLoops();
        auto pApplication = std::make_unique<TLauncherApplication>(nArgc, ppArgv);
        shared::forgetEventLoopChoice();
        // One run per launcher folder: players with folders of their own each run
        // one, and two runs can never install into the same folder.
        const QString sFolder = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
        const QString sKey = singleInstanceKey() + QLatin1Char(':') + sFolder;
        auto pTester = std::make_unique<shared::FirstInstanceTester>(sKey);
        // The launcher that restarts this one after an update may still be on its
        // way out: a restarted launcher gives it a few seconds.
        for (int nTry = 0; nTry < 50 && !pTester->isFirstInstance() && pApplication->isSkipSelfUpdate()
                           && pTester->error() == QSharedMemory::AlreadyExists;
             ++nTry) {
            pTester.reset();
            QThread::msleep(100);
            pTester = std::make_unique<shared::FirstInstanceTester>(sKey);
        }
        if (!pTester->isFirstInstance()) {
            if (pTester->error() == QSharedMemory::AlreadyExists) {
                // The player clicked again because the window is out of sight: the running one brings it back.
                const bool bHeard = pTester->tellFirstInstance();
                qInfo() << "Version: " << launcherVersion() << "already running"
                        << (bHeard ? "and told" : "and could not be told") << " Thread: " << QThread::currentThreadId();
                return 0;
            }
            throw std::runtime_error(
                QStringLiteral("QSharedMemory::SharedMemoryError(%1)").arg(pTester->error()).toStdString());
        }

        pApplication->adoptInstanceGuard(std::move(pTester));
        setupLogging(QCoreApplication::applicationDirPath(),
                     QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        qInfo() << "Version: " << launcherVersion() << " Thread: " << QThread::currentThreadId();
        qInfo() << "process id" << QCoreApplication::applicationPid();
        qInfo() << "load configuration" << " Thread: " << QThread::currentThreadId();
        pApplication->startLoadingConfiguration();

        const int nExitCode = pApplication->exec();
        qInfo() << "exit code" << nExitCode;
        pApplication.reset();
        return nExitCode;
    } catch (const std::exception& oError) {
        // Nothing can be shown before the application object exists: stderr is all there is.
        std::fprintf(stderr, "Corvane Online cannot start: %s\n", oError.what());
        return 1;
    }
}
