#include "jsondocumentparser.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace velmar::launcher {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = sizeof(kByteOrderMark) - 1;
constexpr char kLargestUnsigned[] = "18446744073709551615";
constexpr char kSmallestSigned[] = "9223372036854775808";

bool hasPadding(const QByteArray& aDocument)
{
    // capacity() is 0 for borrowed bytes, whose end is not ours to read past.
    return aDocument.capacity() - aDocument.size() >= int(simdjson::SIMDJSON_PADDING);
}

// Whether the decimal digits (no sign, no leading zero) exceed the largest text.
bool digitsExceed(const char* pDigits, int nDigits, const char* pLargest)
{
    const int nLargest = int(std::strlen(pLargest));
    if (nDigits != nLargest)
        return nDigits > nLargest;
    return std::memcmp(pDigits, pLargest, size_t(nDigits)) > 0;
}

// The document with an exponent appended to every whole number outside the
// 64-bit integers, so that it parses as the double it stands for; an empty
// array when there is no such number. Only called after a failed parse.
QByteArray withLargeIntegersAsDoubles(const QByteArray& aDocument)
{
    QByteArray aResult;
    const char* pBytes = aDocument.constData();
    const int nSize = aDocument.size();
    int nCopied = 0;
    bool bInString = false;
    for (int n = 0; n < nSize; ++n) {
        const char c = pBytes[n];
        if (bInString) {
            if (c == '\\')
                ++n;
            else if (c == '"')
                bInString = false;
            continue;
        }
        if (c == '"') {
            bInString = true;
            continue;
        }
        if (c != '-' && (c < '0' || c > '9'))
            continue;
        // The whole number token, so that the digits of a fraction or an
        // exponent are never taken for a number of their own.
        int nEnd = n + 1;
        while (nEnd < nSize && pBytes[nEnd] != '\0' && std::strchr("0123456789+-.eE", pBytes[nEnd]) != nullptr)
            ++nEnd;
        const bool bNegative = c == '-';
        const int nDigitsStart = bNegative ? n + 1 : n;
        const int nDigits = nEnd - nDigitsStart;
        const bool bWhole = nDigits > 0 && pBytes[nDigitsStart] != '0'
                            && std::all_of(pBytes + nDigitsStart, pBytes + nEnd, [](char d) { return d >= '0' && d <= '9'; });
        if (bWhole && digitsExceed(pBytes + nDigitsStart, nDigits, bNegative ? kSmallestSigned : kLargestUnsigned)) {
            aResult.append(pBytes + nCopied, nEnd - nCopied).append("e0");
            nCopied = nEnd;
        }
        n = nEnd - 1;
    }
    if (nCopied == 0)
        return QByteArray();
    aResult.append(pBytes + nCopied, nSize - nCopied);
    return aResult;
}

} // namespace

void TJsonDocumentParser::reservePadding(QByteArray& aDocument)
{
    if (hasPadding(aDocument) || !aDocument.isDetached() || aDocument.capacity() < aDocument.size())
        return;
    aDocument.reserve(aDocument.size() + int(simdjson::SIMDJSON_PADDING));
}

bool TJsonDocumentParser::parse(const QByteArray& aDocument)
{
    simdjson::error_code eError = parsePadded(aDocument);
    if (eError == simdjson::NUMBER_ERROR) {
        const QByteArray aRewritten = withLargeIntegersAsDoubles(aDocument);
        if (!aRewritten.isEmpty())
            eError = parsePadded(aRewritten);
    }
    // The index of the document's structure only serves the parse, and is a
    // fifth of the parser's memory; a later parse allocates it anew.
    if (m_oParser.implementation)
        (void)m_oParser.implementation->set_capacity(0);
    if (eError != simdjson::SUCCESS)
        return false;
    const simdjson::dom::element_type eType = m_oRoot.type();
    return eType == simdjson::dom::element_type::OBJECT || eType == simdjson::dom::element_type::ARRAY;
}

simdjson::error_code TJsonDocumentParser::parsePadded(const QByteArray& aDocument)
{
    if (hasPadding(aDocument))
        return parseBytes(aDocument.constData(), size_t(aDocument.size()));
    // The parsed values do not point into the bytes, so the copy goes at once.
    QByteArray aCopy;
    aCopy.reserve(aDocument.size() + int(simdjson::SIMDJSON_PADDING));
    aCopy.append(aDocument.constData(), aDocument.size());
    return parseBytes(aCopy.constData(), size_t(aCopy.size()));
}

simdjson::error_code TJsonDocumentParser::parseBytes(const char* pBytes, size_t nSize)
{
    if (nSize >= kByteOrderMarkSize && std::memcmp(pBytes, kByteOrderMark, kByteOrderMarkSize) == 0) {
        pBytes += kByteOrderMarkSize;
        nSize -= kByteOrderMarkSize;
    }
    return m_oParser.parse(pBytes, nSize, false).get(m_oRoot);
}

} // namespace velmar::launcher
