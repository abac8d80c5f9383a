#include "jsontext.h"

QByteArray jsonString(const QString& sText)
{
    const QByteArray aUtf8 = sText.toUtf8();
    QByteArray aText;
    aText.reserve(aUtf8.size() + 2);
    aText += '"';
    for (const char cByte : aUtf8) {
        switch (cByte) {
        case '"':
            aText += "\\\"";
            break;
        case '\\':
            aText += "\\\\";
            break;
        case '\n':
            aText += "\\n";
            break;
        case '\r':
            aText += "\\r";
            break;
        case '\t':
            aText += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(cByte) < 0x20)
                aText += "\\u00" + QByteArray::number(static_cast<unsigned char>(cByte), 16).rightJustified(2, '0');
            else
                aText += cByte;
        }
    }
    aText += '"';
    return aText;
}

QByteArray jsonNumber(quint64 nValue)
{
    return QByteArray::number(nValue);
}

QByteArray jsonBool(bool bValue)
{
    return bValue ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

QByteArray jsonStringArray(const QStringList& lTexts)
{
    QByteArray aText = "[";
    for (int nIndex = 0; nIndex < lTexts.size(); ++nIndex) {
        if (nIndex > 0)
            aText += ", ";
        aText += jsonString(lTexts.at(nIndex));
    }
    return aText + ']';
}

QByteArray jsonMember(const char* pKey, const QByteArray& aValue)
{
    return jsonString(QString::fromLatin1(pKey)) + ": " + aValue;
}

QByteArray jsonObject(const QList<QByteArray>& lMembers)
{
    QByteArray aText = "{";
    for (int nIndex = 0; nIndex < lMembers.size(); ++nIndex) {
        if (nIndex > 0)
            aText += ", ";
        aText += lMembers.at(nIndex);
    }
    return aText + '}';
}
