#include "jsonfields.h"

#include <cmath>
#include <limits>

namespace velmar::launcher {

QString jsonText(const QJsonValue& oValue)
{
    return oValue.isString() ? oValue.toString() : QString();
}

bool jsonBool(const QJsonValue& oValue, bool bDefault)
{
    return oValue.isBool() ? oValue.toBool() : bDefault;
}

namespace {

shared::TFileSize decimalTextToFileSize(const QString& sText)
{
    if (sText.isEmpty() || sText.size() > 20)
        return 0;
    shared::TFileSize nValue = 0;
    for (const QChar cDigit : sText) {
        if (cDigit < QLatin1Char('0') || cDigit > QLatin1Char('9'))
            return 0;
        const unsigned nDigit = cDigit.unicode() - u'0';
        if (nValue > (std::numeric_limits<shared::TFileSize>::max() - nDigit) / 10)
            return 0;
        nValue = nValue * 10 + nDigit;
    }
    return nValue;
}

} // namespace

shared::TFileSize jsonFileSize(const QJsonValue& oValue)
{
    if (oValue.isString())
        return decimalTextToFileSize(oValue.toString());
    if (!oValue.isDouble())
        return 0;
    // Below 2^53 a double holds every whole number exactly; above, the parser's
    // exact integer is asked for (up to 2^63), and beyond that only the double.
    const double dFast = oValue.toDouble();
    if (dFast >= 0 && dFast < 9007199254740992.0)
        return std::floor(dFast) == dFast ? static_cast<shared::TFileSize>(dFast) : 0;
    const QVariant oVariant = oValue.toVariant();
    if (oVariant.userType() == QMetaType::LongLong) {
        const qlonglong nValue = oVariant.toLongLong();
        return nValue < 0 ? 0 : static_cast<shared::TFileSize>(nValue);
    }
    const double dValue = oValue.toDouble();
    if (!(dValue >= 0) || dValue >= 18446744073709551616.0 || std::floor(dValue) != dValue)
        return 0;
    return static_cast<shared::TFileSize>(dValue);
}

qint32 jsonInt32(const QJsonValue& oValue, qint32 nDefault)
{
    if (!oValue.isDouble())
        return nDefault;
    const double dValue = oValue.toDouble();
    if (!(dValue >= std::numeric_limits<qint32>::min() && dValue <= std::numeric_limits<qint32>::max())
        || std::floor(dValue) != dValue)
        return nDefault;
    return static_cast<qint32>(dValue);
}

shared::TSha256Digest jsonDigest(const QJsonValue& oValue)
{
    if (!oValue.isString())
        return shared::TSha256Digest();
    return shared::TSha256Digest::fromHex(oValue.toString());
}

} // namespace velmar::launcher
