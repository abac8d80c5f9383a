#include "mirrorlist.h"

#include "configurationurl.h"

#include <QDebug>
#include <QJsonArray>

#include <algorithm>

namespace velmar::launcher {

namespace {

bool isWebScheme(const QString& sScheme)
{
    return sScheme == QLatin1String("http") || sScheme == QLatin1String("https");
}

// The base address with its path ending in one "/", so that equal folders compare equal.
QUrl folderAddress(QUrl oUrl)
{
    oUrl.setQuery(QString());
    oUrl.setFragment(QString());
    const QString sPath = oUrl.path(QUrl::FullyDecoded);
    if (!sPath.endsWith(QLatin1Char('/')))
        oUrl.setPath(sPath + QLatin1Char('/'), QUrl::DecodedMode);
    return oUrl;
}

} // namespace

QString addMirror(std::vector<QUrl>& lMirrors, const QString& sAddress, const QUrl& oDocumentUrl)
{
    if (sAddress.size() > kMaximumMirrorLength)
        return QStringLiteral("The mirror address %1... is longer than %2 characters.")
            .arg(sAddress.left(40))
            .arg(kMaximumMirrorLength);
    const QUrl oAddress(sAddress, QUrl::StrictMode);
    if (!oAddress.isValid() || !isWebScheme(oAddress.scheme()) || oAddress.host().isEmpty())
        return QStringLiteral("The mirror %1 is no absolute http or https address.").arg(sAddress);
    if (oDocumentUrl.scheme() == QLatin1String("https") && oAddress.scheme() != QLatin1String("https"))
        return QStringLiteral("The mirror %1 is no https address, but the package document %2 is.")
            .arg(sAddress, oDocumentUrl.toString());
    const QUrl oMirror = folderAddress(oAddress);
    if (oMirror == folderAddress(urlWithoutFileName(oDocumentUrl))
        || std::find(lMirrors.begin(), lMirrors.end(), oMirror) != lMirrors.end())
        return QString();
    lMirrors.push_back(oMirror);
    return QString();
}

std::vector<QUrl> readMirrors(const QJsonValue& oValue, const QUrl& oDocumentUrl)
{
    std::vector<QUrl> lMirrors;
    if (oValue.isUndefined())
        return lMirrors;
    if (!oValue.isArray()) {
        qWarning() << "Ignoring the mirrors of" << oDocumentUrl << ": they are no list.";
        return lMirrors;
    }
    const QJsonArray lValues = oValue.toArray();
    if (lValues.size() > kMaximumMirrors) {
        qWarning() << "Ignoring the mirrors of" << oDocumentUrl << ":" << lValues.size() << "are more than"
                   << kMaximumMirrors;
        return lMirrors;
    }
    for (const QJsonValue oMirror : lValues) {
        const QString sProblem = oMirror.isString() ? addMirror(lMirrors, oMirror.toString(), oDocumentUrl)
                                                    : QStringLiteral("A mirror is no text.");
        if (!sProblem.isEmpty())
            qWarning() << "Ignoring a mirror of" << oDocumentUrl << ":" << sProblem;
    }
    return lMirrors;
}

} // namespace velmar::launcher
