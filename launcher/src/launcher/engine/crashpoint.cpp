#include "crashpoint.h"

#ifdef CORVANE_CRASH_POINTS
#include <QAtomicInteger>
#include <QByteArray>
#include <QtGlobal>

#include <csignal>
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
    static const QByteArray s_aSetting = qgetenv("CORVANE_CRASH_AT");
    static QAtomicInteger<int> s_nPassages;
    if (namedPassage(s_aSetting, s_nPassages, pName))
        std::raise(SIGKILL);
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
