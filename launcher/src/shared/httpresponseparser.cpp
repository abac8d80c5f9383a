#include "httpresponseparser.h"

#include <algorithm>

namespace shared {

namespace {

QByteArray withoutLineEnd(const QByteArray& aLine)
{
    QByteArray aResult = aLine;
    while (aResult.endsWith('\n') || aResult.endsWith('\r'))
        aResult.chop(1);
    return aResult;
}

bool hasToken(const QByteArray& aList, const QByteArray& aToken)
{
    for (const QByteArray& aPart : aList.split(','))
        if (aPart.trimmed().toLower() == aToken)
            return true;
    return false;
}

// A decimal or hexadecimal count with a bound on its digits, so it cannot overflow.
qint64 parseCount(const QByteArray& aText, int nBase, int nMaximumDigits)
{
    if (aText.isEmpty() || aText.size() > nMaximumDigits)
        return -1;
    for (const char c : aText)
        if (!(c >= '0' && c <= '9') && !(nBase == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))))
            return -1;
    return aText.toLongLong(nullptr, nBase);
}

} // namespace

QByteArray THttpResponseParser::field(const QByteArray& aName) const
{
    QByteArray aValue;
    bool bFound = false;
    for (const auto& oField : m_lFields) {
        if (oField.first.compare(aName, Qt::CaseInsensitive) != 0)
            continue;
        if (bFound)
            aValue += ", ";
        aValue += oField.second;
        bFound = true;
    }
    return aValue;
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
            // Empty lines before a status line are tolerated, as after a body some servers send one too many.
            while (nPos < aInput.size() && (aInput[nPos] == '\r' || aInput[nPos] == '\n'))
                ++nPos;
            const int nCrLf = aInput.indexOf("\n\r\n", nPos);
            const int nLf = aInput.indexOf("\n\n", nPos);
            const int nEnd = nCrLf >= 0 && (nLf < 0 || nCrLf < nLf) ? nCrLf + 3 : nLf >= 0 ? nLf + 2 : -1;
            if ((nEnd < 0 ? aInput.size() : nEnd) - nPos > kMaximumHeadSize)
                return fail(QStringLiteral("The answer's head is larger than %1 bytes").arg(kMaximumHeadSize));
            if (nEnd < 0)
                break;
            if (!parseHead(aInput.mid(nPos, nEnd - nPos)))
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
            // Most reads are body alone: handed over whole rather than copied.
            if (nPos == 0 && nTake == aInput.size() && aBody.isEmpty()) {
                aBody.swap(aInput);
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

bool THttpResponseParser::parseHead(const QByteArray& aHead)
{
    QList<QByteArray> lLines = aHead.split('\n');
    const QByteArray aStatusLine = withoutLineEnd(lLines.takeFirst());
    // "HTTP/1.x NNN reason"
    const bool bStatusLine = aStatusLine.size() >= 12 && aStatusLine.startsWith("HTTP/1.")
                             && aStatusLine[7] >= '0' && aStatusLine[7] <= '9' && aStatusLine[8] == ' '
                             && (aStatusLine.size() == 12 || aStatusLine[12] == ' ');
    const qint64 nStatus = bStatusLine ? parseCount(aStatusLine.mid(9, 3), 10, 3) : -1;
    if (nStatus < 100) {
        fail(QStringLiteral("The answer has no valid status line"));
        return false;
    }
    m_lFields.clear();
    for (const QByteArray& aRawLine : lLines) {
        const QByteArray aLine = withoutLineEnd(aRawLine);
        if (aLine.isEmpty())
            continue;
        const int nColon = aLine.indexOf(':');
        const QByteArray aName = aLine.left(nColon);
        // Folded lines and names with blanks are obsolete forms a server must not send.
        if (nColon <= 0 || aName.contains(' ') || aName.contains('\t') || m_lFields.size() >= kMaximumFieldCount) {
            fail(QStringLiteral("The answer's head has a malformed field or too many"));
            return false;
        }
        m_lFields.append({aName, aLine.mid(nColon + 1).trimmed()});
    }
    m_nStatus = int(nStatus);
    m_aReason = aStatusLine.mid(13);
    // Interim answers are followed by the real one.
    if (m_nStatus < 200 && m_nStatus != 101)
        return true;
    const QByteArray aConnection = field("Connection");
    m_bKeepAlive = aStatusLine[7] == '0' ? hasToken(aConnection, "keep-alive") : !hasToken(aConnection, "close");
    const QByteArray aCoding = field("Transfer-Encoding");
    const QList<QByteArray> lLengths = field("Content-Length").split(',');
    m_nContentLength = -1;
    if (m_nStatus == 101 || m_nStatus == 204 || m_nStatus == 304) {
        m_eState = EState::Done;
        return true;
    }
    m_eState = EState::Body;
    if (!aCoding.isEmpty()) {
        m_eBody = hasToken(aCoding.mid(aCoding.lastIndexOf(',') + 1), "chunked") ? EBody::Chunked : EBody::UntilClose;
        m_bKeepAlive = m_bKeepAlive && m_eBody == EBody::Chunked;
        m_eChunk = EChunk::Size;
    } else if (!field("Content-Length").isNull()) {
        // Repeated fields must agree; a body of uncertain length cannot be told from the next answer.
        for (const QByteArray& aLength : lLengths) {
            const qint64 nLength = parseCount(aLength.trimmed(), 10, 18);
            if (nLength < 0 || (m_nContentLength >= 0 && nLength != m_nContentLength)) {
                fail(QStringLiteral("The answer's Content-Length is invalid"));
                return false;
            }
            m_nContentLength = nLength;
        }
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
        m_nRemaining = parseCount(aLine.left(nExtension < 0 ? aLine.size() : nExtension).trimmed(), 16, 15);
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
