#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace shared {

// A publisher's Ed25519 public key: the 32 raw bytes, written as text as
// "ed25519:" followed by their base64, which survives settings files, command
// lines and build options unchanged. Checks go through OpenSSL's EVP interface.
class TEd25519PublicKey
{
public:
    static constexpr int kSize = 32;
    static constexpr int kSignatureSize = 64;
    static constexpr int kKeyIdSize = 8;

    // Nothing for any other text, surrounding white space aside.
    static std::optional<TEd25519PublicKey> fromText(const QString& sText);
    // Nothing unless exactly kSize bytes.
    static std::optional<TEd25519PublicKey> fromBytes(const QByteArray& aBytes);

    const QByteArray& bytes() const { return m_aBytes; }
    QString toText() const;
    // The first kKeyIdSize bytes of the SHA-256 of the key: short enough to sit
    // in every signed document, long enough that two keys of one publisher never share it.
    const QByteArray& keyId() const { return m_aKeyId; }
    // Hexadecimal, as logs and messages name the key.
    QString keyIdText() const { return QString::fromLatin1(m_aKeyId.toHex()); }

    // True only for a signature this key made over exactly these bytes; a
    // signature of the wrong size, or any failure inside OpenSSL, is false.
    bool verify(const QByteArray& aMessage, const QByteArray& aSignature) const;

    bool operator==(const TEd25519PublicKey& oOther) const { return m_aBytes == oOther.m_aBytes; }

private:
    explicit TEd25519PublicKey(QByteArray aBytes);

    QByteArray m_aBytes;
    QByteArray m_aKeyId;
};

} // namespace shared
