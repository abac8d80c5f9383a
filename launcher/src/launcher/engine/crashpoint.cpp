#include "crashpoint.h"

#ifdef CORVANE_CRASH_POINTS
#include <QAtomicInteger>
#include <QByteArray>
#include <QtGlobal>

#include <csignal>
#endif

namespace velmar::launcher {

#ifdef CORVANE_CRASH_POINTS
void crashPoint(const char* pName)
{
    static const QByteArray s_aSetting = qgetenv("CORVANE_CRASH_AT");
    static QAtomicInteger<int> s_nPassages;
    if (s_aSetting.isEmpty())
        return;
    const int nColon = s_aSetting.indexOf(':');
    if ((nColon < 0 ? s_aSetting : s_aSetting.left(nColon)) != pName)
        return;
    const int nWanted = nColon < 0 ? 1 : s_aSetting.mid(nColon + 1).toInt();
    if (++s_nPassages >= nWanted)
        std::raise(SIGKILL);
}
#else
void crashPoint(const char*)
{
}
#endif

} // namespace velmar::launcher
