#include "openedlinks.h"

#include <QDesktopServices>

namespace {

const char* const kSchemes[] = {"http", "https", "file", "mailto", "ftp"};

} // namespace

TOpenedLinks::TOpenedLinks()
{
    for (const char* pScheme : kSchemes)
        QDesktopServices::setUrlHandler(QLatin1String(pScheme), this, "open");
}

TOpenedLinks::~TOpenedLinks()
{
    for (const char* pScheme : kSchemes)
        QDesktopServices::unsetUrlHandler(QLatin1String(pScheme));
}
