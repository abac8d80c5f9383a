#include "crashpoint.h"

#ifdef CORVANE_CRASH_POINTS
#include <QAtomicInteger>
#include <QByteArray>
#include <QtGlobal>

#include <csignal>
#include <cstdio>

#include <unistd.h>
#endif

namespace velmar::launcher {

#ifdef CORVANE_CRASH_POINTS
namespace {

// Whether this passage of pName is the one aSetting ("name" or "name:N") names.
bool namedPassage(const QByteArray& aSetting, QAtomicInteger<int>& nPassages, const char* pName)
{
    if (aSetting.isEmpty())
        return false;
    const int nColon = aSetting.indexOf(':');
    if ((nColon < 0 ? aSetting : aSetting.left(nColon)) != pName)
        return false;
    const int nWanted = nColon < 0 ? 1 : aSetting.mid(nColon + 1).toInt();
    return ++nPassages == nWanted;
}

} // namespace

void crashPoint(const char* pName)
{
    static const QByteArray s_aCrashAt = qgetenv("CORVANE_CRASH_AT");
    static const QByteArray s_aStopAt = qgetenv("CORVANE_STOP_AT");
    static QAtomicInteger<int> s_nCrashPassages;
    static QAtomicInteger<int> s_nStopPassages;
    if (namedPassage(s_aCrashAt, s_nCrashPassages, pName))
        std::raise(SIGKILL);
    if (namedPassage(s_aStopAt, s_nStopPassages, pName)) {
        // The line tells a waiting test that this step now waits for its word.
        std::fprintf(stderr, "stopped at %s\n", pName);
        std::fflush(stderr);
        char cByte = 0;
        while (::read(STDIN_FILENO, &cByte, 1) == 1 && cByte != '\n') {
        }
    }
}

bool failPoint(const char* pName)
{
    static const QByteArray s_aSetting = qgetenv("CORVANE_FAIL_AT");
    static QAtomicInteger<int> s_nPassages;
    return namedPassage(s_aSetting, s_nPassages, pName);
}
#else
void crashPoint(const char*)
{
}

bool failPoint(const char*)
{
    return false;
}
#endif

} // namespace velmar::launcher
