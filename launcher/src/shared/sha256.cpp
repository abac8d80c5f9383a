#include "sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace shared {

namespace {

// A digest OpenSSL could not compute must never pass for one.
void check(int nResult, const char* pStep)
{
    if (nResult != 1)
        throw std::runtime_error(std::string("SHA-256 failed in ") + pStep);
}

// OpenSSL reads its configuration on first use; done first on a pool thread, it
// leaves that thread's error state to be freed by nobody. Read before main, it
// belongs to the main thread, which OpenSSL's own clean-up at exit covers.
const bool s_bCryptoInitialised = OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG, nullptr) == 1;

} // namespace

TSha256::TSha256() : m_pContext(EVP_MD_CTX_new())
{
    if (!m_pContext)
        throw std::bad_alloc();
    try {
        start();
    } catch (...) {
        EVP_MD_CTX_free(m_pContext);
        throw;
    }
}

TSha256::~TSha256()
{
    EVP_MD_CTX_free(m_pContext);
}

void TSha256::start()
{
    // A failed initialisation leaves a context that would crash on the next
    // update: until one succeeds, every call tries again.
    m_bStarted = false;
    check(EVP_DigestInit_ex(m_pContext, EVP_sha256(), nullptr), "EVP_DigestInit_ex");
    m_bStarted = true;
}

void TSha256::addData(const char* pData, size_t nSize)
{
    if (!m_bStarted)
        start();
    check(EVP_DigestUpdate(m_pContext, pData, nSize), "EVP_DigestUpdate");
}

QByteArray TSha256::result()
{
    if (!m_bStarted)
        start();
    QByteArray aDigest(kDigestSize, Qt::Uninitialized);
    unsigned int nLength = 0;
    m_bStarted = false;
    check(EVP_DigestFinal_ex(m_pContext, reinterpret_cast<unsigned char*>(aDigest.data()), &nLength),
          "EVP_DigestFinal_ex");
    if (nLength != kDigestSize)
        throw std::runtime_error("SHA-256 gave a digest of the wrong size");
    return aDigest;
}

QByteArray TSha256::hash(const char* pData, size_t nSize)
{
    QByteArray aDigest(kDigestSize, Qt::Uninitialized);
    unsigned int nLength = 0;
    check(EVP_Digest(pData, nSize, reinterpret_cast<unsigned char*>(aDigest.data()), &nLength, EVP_sha256(), nullptr),
          "EVP_Digest");
    if (nLength != kDigestSize)
        throw std::runtime_error("SHA-256 gave a digest of the wrong size");
    return aDigest;
}

} // namespace shared
