#include "configurationurl.h"

#include <array>

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
    // A table rather than a chain of comparisons: every chunk address passes
    // here several times before the first request.
    static constexpr auto kPlain = [] {
        std::array<bool, 128> lPlain{};
        for (char cChar = 'a'; cChar <= 'z'; ++cChar)
            lPlain[size_t(cChar)] = true;
        for (char cChar = 'A'; cChar <= 'Z'; ++cChar)
            lPlain[size_t(cChar)] = true;
        for (char cChar = '0'; cChar <= '9'; ++cChar)
            lPlain[size_t(cChar)] = true;
        for (const char cChar : {'-', '.', '_', '~', '/'})
            lPlain[size_t(cChar)] = true;
        return lPlain;
    }();
    if (sAddress.startsWith(QLatin1String("//")))
        return false;
    const ushort* pCode = sAddress.utf16();
    const ushort* const pEnd = pCode + sAddress.size();
    for (; pCode != pEnd; ++pCode) {
        if (*pCode >= kPlain.size() || !kPlain[*pCode])
            return false;
    }
    return true;
}

} // namespace

QUrl resolveAgainstBase(const QUrl& oBase, const QString& sAddress, bool* pRelative)
{
    const bool bPlain = isPlainPath(sAddress);
    const QUrl oAddress = bPlain ? QUrl() : QUrl(sAddress);
    if (pRelative)
        *pRelative = oAddress.scheme().isEmpty();
    if (!oAddress.scheme().isEmpty())
        return oAddress;
    const QString sBasePath = oBase.path(QUrl::FullyDecoded);
    const QString sAddressPath = bPlain ? sAddress : oAddress.path(QUrl::FullyDecoded);
    const bool bNoSeparator = sBasePath.endsWith(QLatin1Char('/')) || sAddressPath.startsWith(QLatin1Char('/'));
    const QString sPath = bNoSeparator ? sBasePath + sAddressPath : sBasePath + QLatin1Char('/') + sAddressPath;
    // The decoded mode only escapes every "%" before the tolerant parse, through
    // a text search that cost as much as the parse: a path without one is taken
    // as it is.
    QUrl oResult = oBase;
    oResult.setPath(sPath, sPath.contains(QLatin1Char('%')) ? QUrl::DecodedMode : QUrl::TolerantMode);
    oResult.setQuery(QString());
    return oResult;
}

} // namespace velmar::launcher
