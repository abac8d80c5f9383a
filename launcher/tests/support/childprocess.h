#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <cstring>
#include <functional>
#include <map>
#include <string>

// Tests that need a second process (a crash, a marker held elsewhere) run their
// own executable again with "--child <job>": main() hands such a run to the job.
using TChildJobs = std::map<std::string, std::function<int(int, char**)>>;

inline void startChild(QProcess& oProcess, const QString& sJob, const QStringList& lArguments = {})
{
    oProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    oProcess.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child"), sJob} + lArguments);
}

// main() for a test whose executable doubles as a child process; an unknown job exits with 99.
#define CORVANE_TEST_MAIN_WITH_CHILDREN(TestClass, ...)                                    \
    int main(int nArgc, char** ppArgv)                                                    \
    {                                                                                     \
        const TChildJobs hJobs{__VA_ARGS__};                                              \
        if (nArgc >= 3 && std::strcmp(ppArgv[1], "--child") == 0) {                       \
            const auto it = hJobs.find(ppArgv[2]);                                        \
            return it == hJobs.end() ? 99 : it->second(nArgc, ppArgv);                    \
        }                                                                                 \
        QCoreApplication oApplication(nArgc, ppArgv);                                     \
        TestClass oTest;                                                                  \
        return QTest::qExec(&oTest, nArgc, ppArgv);                                       \
    }
