#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace shared {

// Reads one HTTP/1.x answer from the bytes of a connection: the head, then the
// body as Content-Length, chunked transfer coding or the connection's close
// delimits it. Knows nothing of sockets, so that hostile bytes can be fed to it
// directly. Interim 1xx heads are skipped.
class THttpResponseParser
{
public:
    enum class EState { Head, Body, Done, Failed };

    // Limits of a head: a server that sends more is broken or hostile.
    static constexpr int kMaximumHeadSize = 64 * 1024;
    static constexpr int kMaximumFieldCount = 128;

    // Takes what it can of aInput, removing it there, and appends the body's
    // bytes to aBody. Bytes after a complete answer stay in aInput.
    EState feed(QByteArray& aInput, QByteArray& aBody);
    // The connection closed: a body that runs to the close is then whole,
    // any other answer in progress is cut short.
    EState closeInput();

    EState state() const { return m_eState; }
    QString errorText() const { return m_sError; }
    bool hasHead() const { return m_eState != EState::Head && m_nStatus > 0; }
    int statusCode() const { return m_nStatus; }
    QByteArray reasonPhrase() const { return text(m_oReason); }
    // The head's fields in the order they first appear, each name once as first
    // sent, with the values of repeated fields joined as by field().
    std::vector<std::pair<QByteArray, QByteArray>> joinedFields() const;
    // A field's value (any letter case); repeated fields joined with ", ", or
    // with line feeds for Set-Cookie.
    QByteArray field(const char* pName) const;
    // -1 unless the body's length is announced.
    qint64 contentLength() const { return m_nContentLength; }
    // Whether the connection may carry another request after this answer.
    bool keepsAlive() const { return m_bKeepAlive; }

private:
    enum class EBody { Length, Chunked, UntilClose };
    enum class EChunk { Size, Data, DataEnd, Trailer };

    // A piece of the head, kept as a place in it: a head of a dozen fields is
    // read without a dozen allocations.
    struct TSpan
    {
        int m_nFrom = 0;
        int m_nSize = 0;
    };
    struct TField
    {
        TSpan m_oName;
        TSpan m_oValue;
    };

    bool parseHead();
    QByteArray text(TSpan oSpan) const { return QByteArray(m_aHead.constData() + oSpan.m_nFrom, oSpan.m_nSize); }
    bool sameName(TSpan oName, const char* pName, int nSize) const;
    QByteArray joinedValue(size_t nFirst) const;
    // Whether any field of the name lists aToken among its comma-separated values.
    bool fieldHasToken(const char* pName, const char* pToken) const;
    // Where the head that starts at nFrom ends, past its empty line; -1 while none came.
    static int headEnd(const QByteArray& aInput, int nFrom);
    // Returns the end of a line starting at nFrom (the index after its '\n'), or -1.
    static int lineEnd(const QByteArray& aInput, int nFrom);
    int feedChunked(const QByteArray& aInput, int nPos, QByteArray& aBody);
    EState fail(const QString& sText);

    EState m_eState = EState::Head;
    QString m_sError;
    int m_nStatus = 0;
    QByteArray m_aHead;
    TSpan m_oReason;
    std::vector<TField> m_lFields;
    qint64 m_nContentLength = -1;
    bool m_bKeepAlive = false;
    EBody m_eBody = EBody::UntilClose;
    EChunk m_eChunk = EChunk::Size;
    // Body bytes still due: of the whole body, or of the current chunk.
    qint64 m_nRemaining = 0;
};

} // namespace shared
