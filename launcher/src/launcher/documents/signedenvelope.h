#pragma once

#include <QByteArray>
#include <QUrl>
#include <QtGlobal>

#include <optional>

namespace shared {
class TEd25519PrivateKey;
class TEd25519PublicKey;
}

namespace velmar::launcher {

// The signed form of the launcher metadata: one file, so that a publisher
// replaces it in one rename, holding the exact metadata bytes with what makes
// them trustworthy. All numbers are big-endian:
//
//   magic "CVSIGNED", format version (1 byte, 1), key id (8 bytes),
//   serial (u64), issued at (i64, Unix seconds), expires at (i64, Unix seconds),
//   payload size (u32), payload (the metadata bytes), Ed25519 signature (64 bytes)
//
// The signature covers a fixed context text followed by every byte before it,
// so that it can never pass for a signature over anything else the key signs.
// Reading takes the layout apart only; nothing inside the payload is looked at
// before a trusted key has checked the signature.
class TSignedEnvelope
{
public:
    // No publisher's metadata comes near it; a launcher stops a download beyond it.
    static constexpr qint64 kMaximumSize = 8 * 1024 * 1024;
    static constexpr int kHeaderSize = 8 + 1 + 8 + 8 + 8 + 8 + 4;
    // Appended to the metadata's file name, and to its address, for the envelope's.
    static const char* const kFileSuffix;

    // Nothing when the bytes are not one whole envelope of this format: too
    // short, too long, another magic or version, or a payload size that does not
    // match the file's.
    static std::optional<TSignedEnvelope> read(const QByteArray& aBytes);
    // The envelope's bytes. Throws std::runtime_error when the payload is larger
    // than an envelope may hold or the key cannot sign.
    static QByteArray seal(const QByteArray& aPayload, quint64 nSerial, qint64 nIssuedAt, qint64 nExpiresAt,
                           const shared::TEd25519PrivateKey& oKey);
    // Where the envelope of the metadata at oMetadataUrl lies.
    static QUrl addressFor(const QUrl& oMetadataUrl);

    const QByteArray& keyId() const { return m_aKeyId; }
    quint64 serial() const { return m_nSerial; }
    qint64 issuedAt() const { return m_nIssuedAt; }
    qint64 expiresAt() const { return m_nExpiresAt; }
    // The metadata bytes: to be parsed only once isSignedBy() holds for a trusted key.
    const QByteArray& payload() const { return m_aPayload; }
    // Whether the key's identifier is the envelope's and its signature checks out.
    bool isSignedBy(const shared::TEd25519PublicKey& oKey) const;
    // The whole file, as read or sealed.
    const QByteArray& bytes() const { return m_aBytes; }

private:
    TSignedEnvelope() = default;

    QByteArray m_aBytes;
    QByteArray m_aKeyId;
    quint64 m_nSerial = 0;
    qint64 m_nIssuedAt = 0;
    qint64 m_nExpiresAt = 0;
    QByteArray m_aPayload;
};

} // namespace velmar::launcher
