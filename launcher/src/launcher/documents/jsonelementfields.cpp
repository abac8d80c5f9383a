#include "jsonelementfields.h"

#include <QLatin1String>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace velmar::launcher {

namespace {

using simdjson::dom::element_type;

constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

element_type typeOf(const simdjson::dom::element* pValue, element_type eAbsent = element_type::NULL_VALUE)
{
    return pValue ? pValue->type() : eAbsent;
}

std::optional<shared::TFileSize> decimalTextToFileSize(std::string_view sText)
{
    if (sText.empty() || sText.size() > 20)
        return std::nullopt;
    shared::TFileSize nValue = 0;
    for (const char cDigit : sText) {
        if (cDigit < '0' || cDigit > '9')
            return std::nullopt;
        const unsigned nDigit = unsigned(cDigit - '0');
        if (nValue > (std::numeric_limits<shared::TFileSize>::max() - nDigit) / 10)
            return std::nullopt;
        nValue = nValue * 10 + nDigit;
    }
    return nValue;
}

std::optional<shared::TFileSize> doubleToFileSize(double dValue)
{
    if (!(dValue >= 0) || dValue >= kTwoTo64 || std::floor(dValue) != dValue)
        return std::nullopt;
    return static_cast<shared::TFileSize>(dValue);
}

// Numbers beyond the signed 64-bit range were only ever held as doubles.
double asDouble(const simdjson::dom::element& oValue)
{
    return oValue.get_double().value_unsafe();
}

} // namespace

QString elementText(const simdjson::dom::element* pValue)
{
    if (typeOf(pValue) != element_type::STRING)
        return QString();
    const std::string_view sText = pValue->get_string().value_unsafe();
    QString sResult = QString::fromUtf8(sText.data(), int(sText.size()));
    // fromUtf8() drops a leading byte order mark, which inside a string is text.
    if (sText.size() >= 3 && sText.compare(0, 3, "\xEF\xBB\xBF") == 0)
        sResult.prepend(QChar(0xFEFF));
    return sResult;
}

bool elementBool(const simdjson::dom::element* pValue, bool bDefault)
{
    return typeOf(pValue) == element_type::BOOL ? pValue->get_bool().value_unsafe() : bDefault;
}

std::optional<shared::TFileSize> elementFileSize(const simdjson::dom::element* pValue)
{
    switch (typeOf(pValue)) {
    case element_type::NULL_VALUE:
        return 0;
    case element_type::STRING:
        return decimalTextToFileSize(pValue->get_string().value_unsafe());
    case element_type::INT64: {
        const int64_t nValue = pValue->get_int64().value_unsafe();
        return nValue < 0 ? std::nullopt : std::optional<shared::TFileSize>(nValue);
    }
    case element_type::UINT64:
    case element_type::DOUBLE:
        return doubleToFileSize(asDouble(*pValue));
    default:
        return std::nullopt;
    }
}

std::optional<qint32> elementInt32(const simdjson::dom::element* pValue)
{
    const element_type eType = typeOf(pValue);
    if (eType != element_type::INT64 && eType != element_type::UINT64 && eType != element_type::DOUBLE)
        return std::nullopt;
    const double dValue = asDouble(*pValue);
    if (!(dValue >= std::numeric_limits<qint32>::min() && dValue <= std::numeric_limits<qint32>::max())
        || std::floor(dValue) != dValue)
        return std::nullopt;
    return static_cast<qint32>(dValue);
}

shared::TSha256Digest elementDigest(const simdjson::dom::element* pValue)
{
    if (typeOf(pValue) != element_type::STRING)
        return shared::TSha256Digest();
    const std::string_view sText = pValue->get_string().value_unsafe();
    return shared::TSha256Digest::fromHex(QLatin1String(sText.data(), int(sText.size())));
}

QString elementNumberOrText(const simdjson::dom::element* pValue)
{
    switch (typeOf(pValue)) {
    case element_type::INT64:
        return QString::number(pValue->get_int64().value_unsafe());
    case element_type::UINT64:
    case element_type::DOUBLE: {
        // A double with a whole value in the 64-bit range was held as that integer.
        const double dValue = asDouble(*pValue);
        if (dValue >= -kTwoTo63 && dValue < kTwoTo63 && std::floor(dValue) == dValue)
            return QString::number(static_cast<qint64>(dValue));
        return QVariant(dValue).toString();
    }
    default:
        return elementText(pValue);
    }
}

QString elementJson(const simdjson::dom::element* pValue)
{
    if (!pValue)
        return QStringLiteral("nothing");
    const std::string sJson = simdjson::to_string(*pValue);
    QString sText = QString::fromUtf8(sJson.data(), int(std::min<size_t>(sJson.size(), 64)));
    if (sJson.size() > 64)
        sText += QStringLiteral("...");
    return sText;
}

} // namespace velmar::launcher
