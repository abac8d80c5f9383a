#include "systemproxies.h"

#include <QNetworkProxyFactory>

namespace shared {

void useSystemProxies()
{
    // Qt takes all_proxy only for protocols without a variable of their own;
    // those who set it mean every request, web ones included.
    QByteArray aAll = qgetenv("all_proxy");
    if (aAll.isEmpty())
        aAll = qgetenv("ALL_PROXY");
    if (!aAll.isEmpty()) {
        for (const char* pName : {"http_proxy", "https_proxy"}) {
            if (qEnvironmentVariableIsEmpty(pName))
                qputenv(pName, aAll);
        }
    }
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

} // namespace shared
