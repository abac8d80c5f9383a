#include "randomhints.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace shared {

namespace {

QString text(const QJsonObject& oHint, const char* pKey)
{
    const QJsonValue oValue = oHint.value(QLatin1String(pKey));
    return oValue.isString() ? oValue.toString() : QString();
}

QDateTime dateTime(const QJsonObject& oHint, const char* pKey)
{
    return QDateTime::fromString(text(oHint, pKey), Qt::ISODate);
}

THint readHint(const QJsonObject& oHint)
{
    THint oResult;
    oResult.m_sTitle = text(oHint, "title");
    oResult.m_sRichText = text(oHint, "richText");
    if (!oResult.m_sRichText.isEmpty())
        oResult.m_sRichText.prepend(QStringLiteral("<style>a { color: #c0c0c0; }</style>"));
    oResult.m_sImageUrl = text(oHint, "imageUrl");
    oResult.m_sCategory = text(oHint, "category");
    oResult.m_sUrl = text(oHint, "url");
    oResult.m_oDisplayAfter = dateTime(oHint, "displayAfter");
    oResult.m_oDisplayUntil = dateTime(oHint, "displayUntil");
    oResult.m_bHasEmergency = oHint.contains(QLatin1String("emergency"));
    oResult.m_bEmergency = oHint.value(QLatin1String("emergency")).toBool(false);
    return oResult;
}

bool isInsideWindow(const THint& oHint, const QDateTime& oNow)
{
    return (!oHint.m_oDisplayAfter.isValid() || oHint.m_oDisplayAfter <= oNow)
           && (!oHint.m_oDisplayUntil.isValid() || oHint.m_oDisplayUntil >= oNow);
}

} // namespace

std::vector<THint> parseHints(const QByteArray& aDocument)
{
    QJsonParseError oError;
    const QJsonDocument oDocument = QJsonDocument::fromJson(aDocument, &oError);
    if (oError.error != QJsonParseError::NoError) {
        qWarning() << "Could not parse hints file at offset" << oError.offset << ":" << oError.errorString();
        return {};
    }
    std::vector<THint> lHints;
    for (const QJsonValue oValue : oDocument.array()) {
        THint oHint = readHint(oValue.toObject());
        if (!oHint.m_sRichText.isEmpty())
            lHints.push_back(std::move(oHint));
    }
    return lHints;
}

std::optional<THint> selectHint(const std::vector<THint>& lHints, const QDateTime& oNow)
{
    for (const THint& oHint : lHints) {
        if (oHint.m_bHasEmergency && oHint.m_bEmergency)
            return oHint;
    }
    std::vector<const THint*> lCandidates;
    for (const THint& oHint : lHints) {
        if (!oHint.m_bHasEmergency && isInsideWindow(oHint, oNow))
            lCandidates.push_back(&oHint);
    }
    for (const THint* pHint : lCandidates) {
        if (pHint->m_oDisplayAfter.isValid() || pHint->m_oDisplayUntil.isValid())
            return *pHint;
    }
    if (lCandidates.empty())
        return std::nullopt;
    // Kept non-negative for clocks before 1970.
    const qint64 nCount = static_cast<qint64>(lCandidates.size());
    const qint64 nPosition = (oNow.toMSecsSinceEpoch() % nCount + nCount) % nCount;
    return *lCandidates[static_cast<size_t>(nPosition)];
}

} // namespace shared
