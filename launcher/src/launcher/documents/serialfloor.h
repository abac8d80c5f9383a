#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

class QSettings;

namespace velmar::launcher {

class TTrustedKeys;

// The highest serial of signed metadata accepted so far, kept in a settings
// store (the player's own state, or corvane-install's state file) per metadata
// address and key, so that an older signed state served again is refused.
class TSerialFloor
{
public:
    TSerialFloor(QSettings& oStore, const QUrl& oMetadataUrl);

    // The highest serial accepted from this address under any key still
    // trusted. A key no longer trusted no longer counts: its serials cannot hold
    // back the keys that replaced it.
    quint64 highest(const TTrustedKeys& oKeys) const;
    // Records an accepted serial; a lower one than recorded changes nothing.
    // Throws std::runtime_error when the store cannot be written.
    void raise(const QByteArray& aKeyId, quint64 nSerial);

private:
    QString key(const QByteArray& aKeyId) const;

    QSettings& m_oStore;
    QString m_sAddressKey;
};

} // namespace velmar::launcher
