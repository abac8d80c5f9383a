#pragma once

#include "ed25519publickey.h"

#include <QByteArray>

#include <memory>

struct evp_pkey_st;

namespace shared {

// A publisher's Ed25519 signing key, kept in a file as unencrypted PKCS#8 PEM,
// the form OpenSSL's own tools read and write. Every failure throws
// std::runtime_error with the whole reason.
class TEd25519PrivateKey
{
public:
    // A new key from the system's random source.
    static TEd25519PrivateKey generate();
    static TEd25519PrivateKey fromPem(const QByteArray& aPem);

    QByteArray toPem() const;
    const TEd25519PublicKey& publicKey() const { return *m_pPublicKey; }
    // The kSignatureSize-byte signature of the bytes.
    QByteArray sign(const QByteArray& aMessage) const;

private:
    explicit TEd25519PrivateKey(evp_pkey_st* pKey);

    std::shared_ptr<evp_pkey_st> m_pKey;
    std::shared_ptr<const TEd25519PublicKey> m_pPublicKey;
};

} // namespace shared
