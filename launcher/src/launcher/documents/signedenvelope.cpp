#include "signedenvelope.h"

#include "shared/ed25519privatekey.h"
#include "shared/ed25519publickey.h"

#include <QtEndian>

#include <stdexcept>

namespace velmar::launcher {

namespace {

const QByteArray kMagic = QByteArrayLiteral("CVSIGNED");
constexpr char kFormatVersion = 1;
// Never changes for format 1: a signature over other bytes of this key stays one over other bytes.
const QByteArray kContext = QByteArrayLiteral("Corvane Online signed launcher metadata, format 1\n");

constexpr int kKeyIdOffset = 9;
constexpr int kSerialOffset = kKeyIdOffset + shared::TEd25519PublicKey::kKeyIdSize;
constexpr int kIssuedAtOffset = kSerialOffset + 8;
constexpr int kExpiresAtOffset = kIssuedAtOffset + 8;
constexpr int kPayloadSizeOffset = kExpiresAtOffset + 8;

template <typename TNumber>
TNumber number(const QByteArray& aBytes, int nOffset)
{
    return qFromBigEndian<TNumber>(aBytes.constData() + nOffset);
}

template <typename TNumber>
void appendNumber(QByteArray& aBytes, TNumber nValue)
{
    char aBuffer[sizeof(TNumber)];
    qToBigEndian(nValue, aBuffer);
    aBytes.append(aBuffer, int(sizeof(TNumber)));
}

QByteArray signedMessage(const QByteArray& aBytes, int nSignedSize)
{
    QByteArray aMessage;
    aMessage.reserve(kContext.size() + nSignedSize);
    aMessage.append(kContext).append(aBytes.constData(), nSignedSize);
    return aMessage;
}

} // namespace

static_assert(TSignedEnvelope::kHeaderSize == kPayloadSizeOffset + 4, "the header ends with the payload size");

const char* const TSignedEnvelope::kFileSuffix = ".signed";

std::optional<TSignedEnvelope> TSignedEnvelope::read(const QByteArray& aBytes)
{
    constexpr int kSignatureSize = shared::TEd25519PublicKey::kSignatureSize;
    if (aBytes.size() < kHeaderSize + kSignatureSize || aBytes.size() > kMaximumSize || !aBytes.startsWith(kMagic)
        || aBytes.at(kMagic.size()) != kFormatVersion)
        return std::nullopt;
    const quint32 nPayloadSize = number<quint32>(aBytes, kPayloadSizeOffset);
    if (quint64(nPayloadSize) != quint64(aBytes.size() - kHeaderSize - kSignatureSize))
        return std::nullopt;
    TSignedEnvelope oEnvelope;
    oEnvelope.m_aBytes = aBytes;
    oEnvelope.m_aKeyId = aBytes.mid(kKeyIdOffset, shared::TEd25519PublicKey::kKeyIdSize);
    oEnvelope.m_nSerial = number<quint64>(aBytes, kSerialOffset);
    oEnvelope.m_nIssuedAt = number<qint64>(aBytes, kIssuedAtOffset);
    oEnvelope.m_nExpiresAt = number<qint64>(aBytes, kExpiresAtOffset);
    oEnvelope.m_aPayload = aBytes.mid(kHeaderSize, int(nPayloadSize));
    return oEnvelope;
}

QByteArray TSignedEnvelope::seal(const QByteArray& aPayload, quint64 nSerial, qint64 nIssuedAt, qint64 nExpiresAt,
                                 const shared::TEd25519PrivateKey& oKey)
{
    if (aPayload.size() > kMaximumSize - kHeaderSize - shared::TEd25519PublicKey::kSignatureSize)
        throw std::runtime_error("the metadata is larger than a signed envelope may hold");
    QByteArray aBytes = kMagic;
    aBytes.append(kFormatVersion);
    aBytes.append(oKey.publicKey().keyId());
    appendNumber<quint64>(aBytes, nSerial);
    appendNumber<qint64>(aBytes, nIssuedAt);
    appendNumber<qint64>(aBytes, nExpiresAt);
    appendNumber<quint32>(aBytes, quint32(aPayload.size()));
    aBytes.append(aPayload);
    aBytes.append(oKey.sign(signedMessage(aBytes, aBytes.size())));
    return aBytes;
}

QUrl TSignedEnvelope::addressFor(const QUrl& oMetadataUrl)
{
    QUrl oUrl = oMetadataUrl;
    oUrl.setPath(oMetadataUrl.path() + QLatin1String(kFileSuffix));
    return oUrl;
}

bool TSignedEnvelope::isSignedBy(const shared::TEd25519PublicKey& oKey) const
{
    if (oKey.keyId() != m_aKeyId)
        return false;
    const int nSignedSize = m_aBytes.size() - shared::TEd25519PublicKey::kSignatureSize;
    return oKey.verify(signedMessage(m_aBytes, nSignedSize), m_aBytes.mid(nSignedSize));
}

} // namespace velmar::launcher
