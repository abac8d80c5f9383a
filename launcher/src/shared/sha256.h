#pragma once

#include <QByteArray>

#include <cstddef>

struct evp_md_ctx_st;

namespace shared {

// SHA-256 through OpenSSL's EVP interface, which uses the processor's SHA
// extensions where present: about ten times the speed of QCryptographicHash here.
// Every OpenSSL failure throws std::runtime_error (a missing context
// std::bad_alloc); no call ever returns a digest OpenSSL did not finish.
class TSha256
{
public:
    static constexpr int kDigestSize = 32;

    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void addData(const char* pData, size_t nSize);
    void addData(const QByteArray& aData) { addData(aData.constData(), static_cast<size_t>(aData.size())); }
    // The 32 raw digest bytes; the object starts over afterwards (on the next
    // call, which throws if OpenSSL cannot start a new digest).
    QByteArray result();

    static QByteArray hash(const char* pData, size_t nSize);
    static QByteArray hash(const QByteArray& aData) { return hash(aData.constData(), static_cast<size_t>(aData.size())); }

private:
    void start();

    evp_md_ctx_st* m_pContext;
    bool m_bStarted = false;
};

} // namespace shared
