#pragma once

#include "shared/ed25519publickey.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace velmar::launcher {

// The publisher keys whose signatures the launcher believes. The keys it was
// built with always count; a settings file can add keys but never take one
// away, because a launchersettings.ini replaces the built-in settings as a
// whole and must not be able to switch checking off. Several keys may count at
// once, so that a publisher can move to a new key through a launcher update.
class TTrustedKeys
{
public:
    // The keys given when this launcher was configured (none by default).
    static TTrustedKeys builtIn();

    // Adds the keys of a list of key texts separated by white space or commas,
    // and returns the entries that are no key. Any entry at all turns checking
    // on: a list that holds only mistakes trusts nothing rather than everything.
    QStringList add(const QString& sList);
    void add(const shared::TEd25519PublicKey& oKey);

    // Whether signed metadata is required: the launcher was built with keys or given some.
    bool isChecking() const { return m_bChecking; }
    // The key with this identifier, or null.
    const shared::TEd25519PublicKey* find(const QByteArray& aKeyId) const;
    const std::vector<shared::TEd25519PublicKey>& keys() const { return m_lKeys; }

private:
    std::vector<shared::TEd25519PublicKey> m_lKeys;
    bool m_bChecking = false;
};

} // namespace velmar::launcher
