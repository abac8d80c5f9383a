#include "configurationurl.h"

namespace velmar::launcher {

QUrl urlWithoutFileName(const QUrl& oUrl)
{
    return oUrl.adjusted(QUrl::RemoveFilename);
}

QUrl resolveAgainstBase(const QUrl& oBase, const QString& sAddress)
{
    const QUrl oAddress(sAddress);
    if (!oAddress.scheme().isEmpty())
        return oAddress;
    const QString sBasePath = oBase.path(QUrl::FullyDecoded);
    const QString sAddressPath = oAddress.path(QUrl::FullyDecoded);
    const bool bNoSeparator = sBasePath.endsWith(QLatin1Char('/')) || sAddressPath.startsWith(QLatin1Char('/'));
    QUrl oResult = oBase;
    oResult.setPath(bNoSeparator ? sBasePath + sAddressPath : sBasePath + QLatin1Char('/') + sAddressPath,
                    QUrl::DecodedMode);
    oResult.setQuery(QString());
    return oResult;
}

} // namespace velmar::launcher
