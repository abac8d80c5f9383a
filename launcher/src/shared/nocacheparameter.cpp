#include "nocacheparameter.h"

#include "randomnumbergenerator.h"

#include <QUrlQuery>

namespace shared {

QUrl appendNocacheParameter(QUrl oUrl)
{
    if (!oUrl.isValid())
        return oUrl;
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const auto pGenerator = TRandomNumberGenerator::instance();
    QString sValue;
    sValue.reserve(32);
    for (int n = 0; n < 32; ++n)
        sValue.append(QLatin1Char(kAlphabet[pGenerator->randomIndex(0, sizeof(kAlphabet) - 2)]));
    // Built from the URL itself so that encoded delimiters in existing items survive.
    QUrlQuery oQuery(oUrl);
    oQuery.addQueryItem(QStringLiteral("nocache"), sValue);
    oUrl.setQuery(oQuery);
    return oUrl;
}

} // namespace shared
