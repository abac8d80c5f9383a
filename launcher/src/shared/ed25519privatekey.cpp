#include "ed25519privatekey.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <stdexcept>

namespace shared {

namespace {

using TBio = std::unique_ptr<BIO, decltype(&BIO_free)>;

[[noreturn]] void fail(const char* pWhat)
{
    throw std::runtime_error(pWhat);
}

} // namespace

TEd25519PrivateKey::TEd25519PrivateKey(evp_pkey_st* pKey) : m_pKey(pKey, &EVP_PKEY_free)
{
    QByteArray aPublic(TEd25519PublicKey::kSize, Qt::Uninitialized);
    size_t nLength = static_cast<size_t>(aPublic.size());
    if (EVP_PKEY_get_raw_public_key(m_pKey.get(), reinterpret_cast<unsigned char*>(aPublic.data()), &nLength) != 1
        || nLength != TEd25519PublicKey::kSize)
        fail("OpenSSL could not give the public half of the Ed25519 key");
    m_pPublicKey = std::make_shared<const TEd25519PublicKey>(*TEd25519PublicKey::fromBytes(aPublic));
}

TEd25519PrivateKey TEd25519PrivateKey::generate()
{
    const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> pContext(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), &EVP_PKEY_CTX_free);
    EVP_PKEY* pKey = nullptr;
    if (!pContext || EVP_PKEY_keygen_init(pContext.get()) != 1 || EVP_PKEY_keygen(pContext.get(), &pKey) != 1 || !pKey)
        fail("OpenSSL could not make an Ed25519 key");
    return TEd25519PrivateKey(pKey);
}

TEd25519PrivateKey TEd25519PrivateKey::fromPem(const QByteArray& aPem)
{
    const TBio pBio(BIO_new_mem_buf(aPem.constData(), aPem.size()), &BIO_free);
    if (!pBio)
        fail("OpenSSL could not read the key");
    // No passphrase callback: an encrypted key fails instead of prompting.
    EVP_PKEY* pKey = PEM_read_bio_PrivateKey(pBio.get(), nullptr, [](char*, int, int, void*) { return 0; }, nullptr);
    if (!pKey)
        fail("not an unencrypted private key in PEM form");
    if (EVP_PKEY_id(pKey) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(pKey);
        fail("not an Ed25519 private key");
    }
    return TEd25519PrivateKey(pKey);
}

QByteArray TEd25519PrivateKey::toPem() const
{
    const TBio pBio(BIO_new(BIO_s_mem()), &BIO_free);
    if (!pBio || PEM_write_bio_PrivateKey(pBio.get(), m_pKey.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        fail("OpenSSL could not write the key");
    char* pData = nullptr;
    const long nLength = BIO_get_mem_data(pBio.get(), &pData);
    return QByteArray(pData, static_cast<int>(nLength));
}

QByteArray TEd25519PrivateKey::sign(const QByteArray& aMessage) const
{
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> pContext(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    QByteArray aSignature(TEd25519PublicKey::kSignatureSize, Qt::Uninitialized);
    size_t nLength = static_cast<size_t>(aSignature.size());
    if (!pContext || EVP_DigestSignInit(pContext.get(), nullptr, nullptr, nullptr, m_pKey.get()) != 1
        || EVP_DigestSign(pContext.get(), reinterpret_cast<unsigned char*>(aSignature.data()), &nLength,
                          reinterpret_cast<const unsigned char*>(aMessage.constData()), static_cast<size_t>(aMessage.size()))
               != 1
        || nLength != TEd25519PublicKey::kSignatureSize)
        fail("OpenSSL could not sign");
    return aSignature;
}

} // namespace shared
