#include "documentpin.h"

#include "shared/sha256.h"

#include <QJsonValue>

#include <cmath>

namespace velmar::launcher {

namespace {

// A JSON number that is a whole count of bytes a double holds exactly, or
// decimal digits: anything else is no size.
bool readSize(const QJsonValue& oValue, quint64& nSize)
{
    if (oValue.isDouble()) {
        const double fValue = oValue.toDouble();
        if (!(fValue >= 0 && fValue <= 9007199254740992.0) || std::floor(fValue) != fValue)
            return false;
        nSize = static_cast<quint64>(fValue);
        return true;
    }
    bool bNumber = false;
    const QString sText = oValue.toString();
    nSize = sText.toULongLong(&bNumber);
    return bNumber && !sText.isEmpty() && sText.at(0).isDigit();
}

} // namespace

TDocumentPin::TDocumentPin(quint64 nSize, const shared::TSha256Digest& oHash)
    : m_bPresent(true), m_nSize(nSize), m_oHash(oHash)
{
}

TDocumentPin TDocumentPin::fromJson(const QJsonObject& oBuild, const QString& sPrefix)
{
    const QJsonValue oSize = oBuild.value(sPrefix + QLatin1String("size"));
    const QJsonValue oHash = oBuild.value(sPrefix + QLatin1String("hash"));
    TDocumentPin oPin;
    if (oSize.isUndefined() && oHash.isUndefined())
        return oPin;
    oPin.m_bPresent = true;
    // An unreadable size or hash stays empty, which no document matches.
    if (!readSize(oSize, oPin.m_nSize))
        oPin.m_nSize = 0;
    const QByteArray aHash = oHash.toString().toLatin1();
    oPin.m_oHash = shared::TSha256Digest::fromHex(QLatin1String(aHash));
    return oPin;
}

QString TDocumentPin::mismatch(const QByteArray& aBytes) const
{
    if (!m_bPresent)
        return QStringLiteral("document does not match its pin: the signed metadata pins no such document");
    if (m_oHash.isEmpty())
        return QStringLiteral("document does not match its pin: the pin cannot be read");
    if (quint64(aBytes.size()) != m_nSize)
        return QStringLiteral("document does not match its pin: %1 bytes where %2 were signed").arg(aBytes.size()).arg(m_nSize);
    if (m_oHash != shared::TSha256::hash(aBytes))
        return QStringLiteral("document does not match its pin: its SHA-256 differs");
    return QString();
}

} // namespace velmar::launcher
