#include "ed25519publickey.h"

#include "sha256.h"

#include <openssl/evp.h>

#include <memory>

namespace shared {

namespace {

const QLatin1String kTextPrefix("ed25519:");

} // namespace

TEd25519PublicKey::TEd25519PublicKey(QByteArray aBytes)
    : m_aBytes(std::move(aBytes)), m_aKeyId(TSha256::hash(m_aBytes).left(kKeyIdSize))
{
}

std::optional<TEd25519PublicKey> TEd25519PublicKey::fromBytes(const QByteArray& aBytes)
{
    if (aBytes.size() != kSize)
        return std::nullopt;
    return TEd25519PublicKey(aBytes);
}

std::optional<TEd25519PublicKey> TEd25519PublicKey::fromText(const QString& sText)
{
    const QString sTrimmed = sText.trimmed();
    if (!sTrimmed.startsWith(kTextPrefix))
        return std::nullopt;
    const QByteArray aEncoded = sTrimmed.mid(kTextPrefix.size()).toLatin1();
    const auto oDecoded = QByteArray::fromBase64Encoding(aEncoded, QByteArray::AbortOnBase64DecodingErrors);
    // Only the one spelling of each key: text that decodes to the same bytes
    // some other way is a different text, and a settings file compares texts nowhere.
    if (!oDecoded || oDecoded.decoded.toBase64() != aEncoded)
        return std::nullopt;
    return fromBytes(oDecoded.decoded);
}

QString TEd25519PublicKey::toText() const
{
    return kTextPrefix + QString::fromLatin1(m_aBytes.toBase64());
}

bool TEd25519PublicKey::verify(const QByteArray& aMessage, const QByteArray& aSignature) const
{
    if (aSignature.size() != kSignatureSize)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(m_aBytes.constData()),
                                    static_cast<size_t>(m_aBytes.size())),
        &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> pContext(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!pKey || !pContext)
        return false;
    // Ed25519 hashes the message itself: no digest is named.
    if (EVP_DigestVerifyInit(pContext.get(), nullptr, nullptr, nullptr, pKey.get()) != 1)
        return false;
    return EVP_DigestVerify(pContext.get(), reinterpret_cast<const unsigned char*>(aSignature.constData()),
                            static_cast<size_t>(aSignature.size()),
                            reinterpret_cast<const unsigned char*>(aMessage.constData()),
                            static_cast<size_t>(aMessage.size()))
           == 1;
}

} // namespace shared
