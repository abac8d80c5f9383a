#include "configurationurl.h"

namespace velmar::launcher {

QUrl urlWithoutFileName(const QUrl& oUrl)
{
    return oUrl.adjusted(QUrl::RemoveFilename);
}

namespace {

// Letters, digits and "-._~/" only, and no "//" in front that would begin a
// host: no scheme, host, query, fragment or escape can be in it, so it is its
// own decoded path. Chunk addresses are such paths, and a hundred thousand of
// them are resolved before the first request.
bool isPlainPath(const QString& sAddress)
{
    if (sAddress.startsWith(QLatin1String("//")))
        return false;
    for (const QChar cChar : sAddress) {
        const ushort nCode = cChar.unicode();
        const bool bPlain = (nCode >= 'a' && nCode <= 'z') || (nCode >= 'A' && nCode <= 'Z') || (nCode >= '0' && nCode <= '9')
                            || nCode == '-' || nCode == '.' || nCode == '_' || nCode == '~' || nCode == '/';
        if (!bPlain)
            return false;
    }
    return true;
}

} // namespace

QUrl resolveAgainstBase(const QUrl& oBase, const QString& sAddress)
{
    const bool bPlain = isPlainPath(sAddress);
    const QUrl oAddress = bPlain ? QUrl() : QUrl(sAddress);
    if (!oAddress.scheme().isEmpty())
        return oAddress;
    const QString sBasePath = oBase.path(QUrl::FullyDecoded);
    const QString sAddressPath = bPlain ? sAddress : oAddress.path(QUrl::FullyDecoded);
    const bool bNoSeparator = sBasePath.endsWith(QLatin1Char('/')) || sAddressPath.startsWith(QLatin1Char('/'));
    QUrl oResult = oBase;
    oResult.setPath(bNoSeparator ? sBasePath + sAddressPath : sBasePath + QLatin1Char('/') + sAddressPath,
                    QUrl::DecodedMode);
    oResult.setQuery(QString());
    return oResult;
}

} // namespace velmar::launcher
