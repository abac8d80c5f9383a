#include "trustedkeys.h"

#include <QDebug>

#ifndef CORVANE_BUILTIN_TRUSTED_KEYS
#define CORVANE_BUILTIN_TRUSTED_KEYS ""
#endif

namespace velmar::launcher {

// In a file of its own, so that a build with other keys compiles this file only.
TTrustedKeys TTrustedKeys::builtIn()
{
    TTrustedKeys oKeys;
    // The build checks the list; a key that does not read still turns checking on.
    for (const QString& sRejected : oKeys.add(QStringLiteral(CORVANE_BUILTIN_TRUSTED_KEYS)))
        qCritical() << "A built-in trusted key is no Ed25519 key:" << sRejected;
    return oKeys;
}

} // namespace velmar::launcher
