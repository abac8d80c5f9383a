#include "weblink.h"

#include <QDebug>
#include <QDesktopServices>

namespace shared {

bool isWebLink(const QUrl& oUrl)
{
    const QString sScheme = oUrl.scheme().toLower();
    return oUrl.isValid() && !oUrl.host().isEmpty()
           && (sScheme == QLatin1String("http") || sScheme == QLatin1String("https"));
}

bool openWebLink(const QUrl& oUrl)
{
    if (!isWebLink(oUrl)) {
        qWarning() << "Not opening a link that is not a web address:" << oUrl.toString();
        return false;
    }
    return QDesktopServices::openUrl(oUrl);
}

} // namespace shared
