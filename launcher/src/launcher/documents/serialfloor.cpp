#include "serialfloor.h"

#include "trustedkeys.h"

#include "shared/sha256.h"

#include <QSettings>

#include <algorithm>
#include <stdexcept>

namespace velmar::launcher {

TSerialFloor::TSerialFloor(QSettings& oStore, const QUrl& oMetadataUrl)
    // A settings key cannot hold every character of an address: its hash names it.
    : m_oStore(oStore)
    , m_sAddressKey(QString::fromLatin1(
          shared::TSha256::hash(oMetadataUrl.toString(QUrl::FullyEncoded).toUtf8()).left(12).toHex()))
{
}

QString TSerialFloor::key(const QByteArray& aKeyId) const
{
    return QStringLiteral("SignedMetadataSerial/%1-%2").arg(m_sAddressKey, QString::fromLatin1(aKeyId.toHex()));
}

quint64 TSerialFloor::highest(const TTrustedKeys& oKeys) const
{
    quint64 nHighest = 0;
    for (const shared::TEd25519PublicKey& oKey : oKeys.keys())
        nHighest = std::max(nHighest, m_oStore.value(key(oKey.keyId())).toString().toULongLong());
    return nHighest;
}

void TSerialFloor::raise(const QByteArray& aKeyId, quint64 nSerial)
{
    const QString sKey = key(aKeyId);
    if (m_oStore.value(sKey).toString().toULongLong() >= nSerial)
        return;
    m_oStore.setValue(sKey, QString::number(nSerial));
    m_oStore.sync();
    if (m_oStore.status() != QSettings::NoError)
        throw std::runtime_error(
            QStringLiteral("Could not record the signed metadata's serial in %1").arg(m_oStore.fileName()).toStdString());
}

} // namespace velmar::launcher
