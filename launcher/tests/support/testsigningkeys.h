#pragma once

#include "shared/ed25519privatekey.h"

// Two publisher keys, made once per test process: the key in use and the one it is rotated to.
inline const shared::TEd25519PrivateKey& oldKey()
{
    static const shared::TEd25519PrivateKey oKey = shared::TEd25519PrivateKey::generate();
    return oKey;
}

inline const shared::TEd25519PrivateKey& newKey()
{
    static const shared::TEd25519PrivateKey oKey = shared::TEd25519PrivateKey::generate();
    return oKey;
}
