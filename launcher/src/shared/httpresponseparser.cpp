#include "httpresponseparser.h"

#include <algorithm>
#include <cstring>

namespace shared {

namespace {

QByteArray withoutLineEnd(const QByteArray& aLine)
{
    QByteArray aResult = aLine;
    while (aResult.endsWith('\n') || aResult.endsWith('\r'))
        aResult.chop(1);
    return aResult;
}

// The white space QByteArray::trimmed() takes off.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void trim(const char* pData, int& nFrom, int& nTo)
{
    while (nFrom < nTo && isBlank(pData[nFrom]))
        ++nFrom;
    while (nTo > nFrom && isBlank(pData[nTo - 1]))
        --nTo;
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(const char* pA, int nA, const char* pB, int nB)
{
    if (nA != nB)
        return false;
    for (int n = 0; n < nA; ++n)
        if (lowerAscii(pA[n]) != lowerAscii(pB[n]))
            return false;
    return true;
}

// Calls fnPart(from, to) for each comma-separated part of [nFrom, nTo), trimmed,
// until it returns true; returns whether one did.
template<typename TFunction>
bool anyPart(const char* pData, int nFrom, int nTo, TFunction fnPart)
{
    for (;;) {
        int nEnd = nFrom;
        while (nEnd < nTo && pData[nEnd] != ',')
            ++nEnd;
        int nPartFrom = nFrom, nPartTo = nEnd;
        trim(pData, nPartFrom, nPartTo);
        if (fnPart(nPartFrom, nPartTo))
            return true;
        if (nEnd == nTo)
            return false;
        nFrom = nEnd + 1;
    }
}

// Whether the comma-separated list [nFrom, nTo) holds pToken, in any letter case.
bool listHasToken(const char* pData, int nFrom, int nTo, const char* pToken)
{
    const int nToken = int(std::strlen(pToken));
    return anyPart(pData, nFrom, nTo, [&](int nPartFrom, int nPartTo) {
        return equalIgnoringCase(pData + nPartFrom, nPartTo - nPartFrom, pToken, nToken);
    });
}

// A decimal or hexadecimal count with a bound on its digits, so it cannot overflow.
qint64 parseCount(const char* pText, int nSize, int nBase, int nMaximumDigits)
{
    if (nSize == 0 || nSize > nMaximumDigits)
        return -1;
    qint64 nValue = 0;
    for (int n = 0; n < nSize; ++n) {
        const char c = lowerAscii(pText[n]);
        const int nDigit = c >= '0' && c <= '9' ? c - '0' : nBase == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (nDigit < 0)
            return -1;
        nValue = nValue * nBase + nDigit;
    }
    return nValue;
}

} // namespace

bool THttpResponseParser::sameName(TSpan oName, const char* pName, int nSize) const
{
    return equalIgnoringCase(m_aHead.constData() + oName.m_nFrom, oName.m_nSize, pName, nSize);
}

QByteArray THttpResponseParser::joinedValue(size_t nFirst) const
{
    const TSpan oName = m_lFields[nFirst].m_oName;
    // As the network layer joins them: cookies cannot be told apart by commas.
    const char* pSeparator = sameName(oName, "Set-Cookie", 10) ? "\n" : ", ";
    QByteArray aValue = text(m_lFields[nFirst].m_oValue);
    for (size_t n = nFirst + 1; n < m_lFields.size(); ++n) {
        if (sameName(m_lFields[n].m_oName, m_aHead.constData() + oName.m_nFrom, oName.m_nSize))
            aValue += pSeparator + text(m_lFields[n].m_oValue);
    }
    return aValue;
}

QByteArray THttpResponseParser::field(const char* pName) const
{
    const int nSize = int(std::strlen(pName));
    for (size_t n = 0; n < m_lFields.size(); ++n)
        if (sameName(m_lFields[n].m_oName, pName, nSize))
            return joinedValue(n);
    return QByteArray();
}

std::vector<std::pair<QByteArray, QByteArray>> THttpResponseParser::joinedFields() const
{
    std::vector<std::pair<QByteArray, QByteArray>> lJoined;
    lJoined.reserve(m_lFields.size());
    for (size_t n = 0; n < m_lFields.size(); ++n) {
        const TSpan oName = m_lFields[n].m_oName;
        bool bSeen = false;
        for (size_t nEarlier = 0; nEarlier < n && !bSeen; ++nEarlier)
            bSeen = sameName(m_lFields[nEarlier].m_oName, m_aHead.constData() + oName.m_nFrom, oName.m_nSize);
        if (!bSeen)
            lJoined.emplace_back(text(oName), joinedValue(n));
    }
    return lJoined;
}

bool THttpResponseParser::fieldHasToken(const char* pName, const char* pToken) const
{
    const int nName = int(std::strlen(pName));
    for (const TField& oField : m_lFields) {
        const TSpan oValue = oField.m_oValue;
        if (sameName(oField.m_oName, pName, nName)
            && listHasToken(m_aHead.constData(), oValue.m_nFrom, oValue.m_nFrom + oValue.m_nSize, pToken))
            return true;
    }
    return false;
}

int THttpResponseParser::headEnd(const QByteArray& aInput, int nFrom)
{
    // The first empty line, "\n\n" or "\n\r\n", looked for no further than a
    // head may reach: the body after it can be many times longer.
    const char* pInput = aInput.constData();
    const int nSize = aInput.size();
    const int nLimit = int(std::min<qint64>(nSize, qint64(nFrom) + kMaximumHeadSize + 1));
    for (int nAt = nFrom; nAt < nLimit;) {
        const auto* pNewline = static_cast<const char*>(std::memchr(pInput + nAt, '\n', size_t(nLimit - nAt)));
        if (!pNewline)
            return -1;
        nAt = int(pNewline - pInput) + 1;
        if (nAt < nSize && pInput[nAt] == '\n')
            return nAt + 1;
        if (nAt + 1 < nSize && pInput[nAt] == '\r' && pInput[nAt + 1] == '\n')
            return nAt + 2;
    }
    return -1;
}

int THttpResponseParser::lineEnd(const QByteArray& aInput, int nFrom)
{
    const int nNewline = aInput.indexOf('\n', nFrom);
    return nNewline < 0 ? -1 : nNewline + 1;
}

THttpResponseParser::EState THttpResponseParser::fail(const QString& sText)
{
    m_eState = EState::Failed;
    m_sError = sText;
    return m_eState;
}

THttpResponseParser::EState THttpResponseParser::feed(QByteArray& aInput, QByteArray& aBody)
{
    int nPos = 0;
    while (nPos < aInput.size() && (m_eState == EState::Head || m_eState == EState::Body)) {
        if (m_eState == EState::Head) {
            // Read through a const pointer: a write access would copy an input shared with the socket's buffer.
            const char* pInput = aInput.constData();
            // Empty lines before a status line are tolerated, as after a body some servers send one too many.
            while (nPos < aInput.size() && (pInput[nPos] == '\r' || pInput[nPos] == '\n'))
                ++nPos;
            const int nEnd = headEnd(aInput, nPos);
            if ((nEnd < 0 ? aInput.size() : nEnd) - nPos > kMaximumHeadSize)
                return fail(QStringLiteral("The answer's head is larger than %1 bytes").arg(kMaximumHeadSize));
            if (nEnd < 0)
                break;
            m_aHead = QByteArray(aInput.constData() + nPos, nEnd - nPos);
            if (!parseHead())
                return m_eState;
            nPos = nEnd;
        } else if (m_eBody == EBody::Chunked) {
            // Nothing taken: the rest of a line is still to come.
            const int nNext = feedChunked(aInput, nPos, aBody);
            if (nNext == nPos)
                break;
            nPos = nNext;
        } else {
            const qint64 nTake = m_eBody == EBody::Length ? std::min<qint64>(m_nRemaining, aInput.size() - nPos)
                                                          : aInput.size() - nPos;
            // Most reads end with body alone: handed over whole rather than copied,
            // a head before it moved out of the way in place.
            if (nTake == aInput.size() - nPos && aBody.isEmpty()) {
                aInput.remove(0, nPos);
                aBody.swap(aInput);
                nPos = 0;
            } else {
                aBody.append(aInput.constData() + nPos, int(nTake));
                nPos += int(nTake);
            }
            if (m_eBody == EBody::Length && (m_nRemaining -= nTake) == 0)
                m_eState = EState::Done;
        }
    }
    if (m_eState != EState::Failed)
        aInput.remove(0, nPos);
    return m_eState;
}

bool THttpResponseParser::parseHead()
{
    const char* pHead = m_aHead.constData();
    const int nSize = m_aHead.size();
    // The end of the line from nFrom without its line end; nNext is where the next begins.
    const auto contentEnd = [&](int nFrom, int& nNext) {
        const int nNewline = m_aHead.indexOf('\n', nFrom);
        nNext = nNewline < 0 ? nSize : nNewline + 1;
        int nTo = nNewline < 0 ? nSize : nNewline;
        while (nTo > nFrom && pHead[nTo - 1] == '\r')
            --nTo;
        return nTo;
    };
    int nNext = 0;
    const int nStatusEnd = contentEnd(0, nNext);
    // "HTTP/1.x NNN reason"
    const bool bStatusLine = nStatusEnd >= 12 && std::memcmp(pHead, "HTTP/1.", 7) == 0 && pHead[7] >= '0'
                             && pHead[7] <= '9' && pHead[8] == ' ' && (nStatusEnd == 12 || pHead[12] == ' ');
    const qint64 nStatus = bStatusLine ? parseCount(pHead + 9, 3, 10, 3) : -1;
    if (nStatus < 100) {
        fail(QStringLiteral("The answer has no valid status line"));
        return false;
    }
    m_lFields.clear();
    // A server's usual head in one allocation rather than one per doubling.
    m_lFields.reserve(16);
    for (int nFrom = nNext; nFrom < nSize; nFrom = nNext) {
        const int nTo = contentEnd(nFrom, nNext);
        if (nTo == nFrom)
            continue;
        const auto* pColon = static_cast<const char*>(std::memchr(pHead + nFrom, ':', size_t(nTo - nFrom)));
        const int nColon = pColon ? int(pColon - pHead) : nFrom;
        // Folded lines and names with blanks are obsolete forms a server must not send.
        const bool bBlank = std::find_if(pHead + nFrom, pHead + nColon, [](char c) { return c == ' ' || c == '\t'; })
                            != pHead + nColon;
        if (nColon == nFrom || bBlank || m_lFields.size() >= size_t(kMaximumFieldCount)) {
            fail(QStringLiteral("The answer's head has a malformed field or too many"));
            return false;
        }
        int nValueFrom = nColon + 1, nValueTo = nTo;
        trim(pHead, nValueFrom, nValueTo);
        m_lFields.push_back({{nFrom, nColon - nFrom}, {nValueFrom, nValueTo - nValueFrom}});
    }
    m_nStatus = int(nStatus);
    m_oReason = nStatusEnd > 13 ? TSpan{13, nStatusEnd - 13} : TSpan{};
    // Interim answers are followed by the real one.
    if (m_nStatus < 200 && m_nStatus != 101)
        return true;
    m_bKeepAlive = pHead[7] == '0' ? fieldHasToken("Connection", "keep-alive") : !fieldHasToken("Connection", "close");
    m_nContentLength = -1;
    if (m_nStatus == 101 || m_nStatus == 204 || m_nStatus == 304) {
        m_eState = EState::Done;
        return true;
    }
    m_eState = EState::Body;
    const QByteArray aCoding = field("Transfer-Encoding");
    if (!aCoding.isEmpty()) {
        // Only the last coding tells how the body ends.
        const bool bChunked = listHasToken(aCoding.constData(), aCoding.lastIndexOf(',') + 1, aCoding.size(), "chunked");
        m_eBody = bChunked ? EBody::Chunked : EBody::UntilClose;
        m_bKeepAlive = m_bKeepAlive && m_eBody == EBody::Chunked;
        m_eChunk = EChunk::Size;
        return true;
    }
    bool bHasLength = false;
    for (const TField& oField : m_lFields) {
        if (!sameName(oField.m_oName, "Content-Length", 14))
            continue;
        bHasLength = true;
        // Repeated values must agree; a body of uncertain length cannot be told from the next answer.
        const TSpan oValue = oField.m_oValue;
        const bool bInvalid = anyPart(pHead, oValue.m_nFrom, oValue.m_nFrom + oValue.m_nSize, [&](int nFrom, int nTo) {
            const qint64 nLength = parseCount(pHead + nFrom, nTo - nFrom, 10, 18);
            const bool bBad = nLength < 0 || (m_nContentLength >= 0 && nLength != m_nContentLength);
            m_nContentLength = nLength;
            return bBad;
        });
        if (bInvalid) {
            fail(QStringLiteral("The answer's Content-Length is invalid"));
            return false;
        }
    }
    if (bHasLength) {
        m_eBody = EBody::Length;
        m_nRemaining = m_nContentLength;
        if (m_nRemaining == 0)
            m_eState = EState::Done;
    } else {
        m_eBody = EBody::UntilClose;
        m_bKeepAlive = false;
    }
    return true;
}

int THttpResponseParser::feedChunked(const QByteArray& aInput, int nPos, QByteArray& aBody)
{
    // A size or trailer line longer than this is no honest server's.
    constexpr int kMaximumLine = 4096;
    while (nPos < aInput.size() && m_eState == EState::Body) {
        if (m_eChunk == EChunk::Data) {
            const qint64 nTake = std::min<qint64>(m_nRemaining, aInput.size() - nPos);
            aBody.append(aInput.constData() + nPos, int(nTake));
            nPos += int(nTake);
            if ((m_nRemaining -= nTake) == 0)
                m_eChunk = EChunk::DataEnd;
            continue;
        }
        if (m_eChunk == EChunk::DataEnd) {
            if (aInput[nPos] == '\r' && nPos + 1 == aInput.size())
                return nPos;
            const int nSkip = aInput[nPos] == '\n' ? 1 : aInput[nPos] == '\r' && aInput[nPos + 1] == '\n' ? 2 : 0;
            if (nSkip == 0) {
                fail(QStringLiteral("A chunk of the answer is longer than announced"));
                return aInput.size();
            }
            nPos += nSkip;
            m_eChunk = EChunk::Size;
            continue;
        }
        const int nEnd = lineEnd(aInput, nPos);
        if ((nEnd < 0 ? aInput.size() : nEnd) - nPos > kMaximumLine) {
            fail(QStringLiteral("A chunk line of the answer is too long"));
            return aInput.size();
        }
        if (nEnd < 0)
            return nPos;
        QByteArray aLine = withoutLineEnd(aInput.mid(nPos, nEnd - nPos));
        nPos = nEnd;
        if (m_eChunk == EChunk::Trailer) {
            // Trailer fields are of no use to a download; the empty line ends the answer.
            if (aLine.isEmpty())
                m_eState = EState::Done;
            else if (++m_nRemaining > kMaximumFieldCount)
                fail(QStringLiteral("The answer has too many trailer fields"));
            continue;
        }
        const int nExtension = aLine.indexOf(';');
        const QByteArray aSize = aLine.left(nExtension < 0 ? aLine.size() : nExtension).trimmed();
        m_nRemaining = parseCount(aSize.constData(), aSize.size(), 16, 15);
        if (m_nRemaining < 0) {
            fail(QStringLiteral("The answer has an invalid chunk size"));
            return aInput.size();
        }
        m_eChunk = m_nRemaining > 0 ? EChunk::Data : EChunk::Trailer;
    }
    return nPos;
}

THttpResponseParser::EState THttpResponseParser::closeInput()
{
    if (m_eState == EState::Body && m_eBody == EBody::UntilClose)
        m_eState = EState::Done;
    else if (m_eState == EState::Head || m_eState == EState::Body)
        fail(QStringLiteral("The connection closed before the whole answer came"));
    return m_eState;
}

} // namespace shared
