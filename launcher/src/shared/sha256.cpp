#include "sha256.h"

#include <openssl/evp.h>

#include <new>

namespace shared {

TSha256::TSha256() : m_pContext(EVP_MD_CTX_new())
{
    if (!m_pContext || EVP_DigestInit_ex(m_pContext, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(m_pContext);
        throw std::bad_alloc();
    }
}

TSha256::~TSha256()
{
    EVP_MD_CTX_free(m_pContext);
}

void TSha256::addData(const char* pData, size_t nSize)
{
    EVP_DigestUpdate(m_pContext, pData, nSize);
}

QByteArray TSha256::result()
{
    QByteArray aDigest(kDigestSize, Qt::Uninitialized);
    unsigned int nLength = 0;
    EVP_DigestFinal_ex(m_pContext, reinterpret_cast<unsigned char*>(aDigest.data()), &nLength);
    EVP_DigestInit_ex(m_pContext, EVP_sha256(), nullptr);
    return aDigest;
}

QByteArray TSha256::hash(const char* pData, size_t nSize)
{
    QByteArray aDigest(kDigestSize, Qt::Uninitialized);
    unsigned int nLength = 0;
    EVP_Digest(pData, nSize, reinterpret_cast<unsigned char*>(aDigest.data()), &nLength, EVP_sha256(), nullptr);
    return aDigest;
}

} // namespace shared
