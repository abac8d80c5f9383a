#include "trustedkeys.h"

#include <QRegularExpression>

#include <algorithm>

namespace velmar::launcher {

QStringList TTrustedKeys::add(const QString& sList)
{
    static const QRegularExpression kSeparators(QStringLiteral("[\\s,]+"));
    QStringList lRejected;
    for (const QString& sEntry : sList.split(kSeparators, Qt::SkipEmptyParts)) {
        m_bChecking = true;
        if (const auto oKey = shared::TEd25519PublicKey::fromText(sEntry))
            add(*oKey);
        else
            lRejected << sEntry;
    }
    return lRejected;
}

void TTrustedKeys::add(const shared::TEd25519PublicKey& oKey)
{
    m_bChecking = true;
    if (std::find(m_lKeys.begin(), m_lKeys.end(), oKey) == m_lKeys.end())
        m_lKeys.push_back(oKey);
}

const shared::TEd25519PublicKey* TTrustedKeys::find(const QByteArray& aKeyId) const
{
    const auto it = std::find_if(m_lKeys.begin(), m_lKeys.end(),
                                 [&aKeyId](const shared::TEd25519PublicKey& oKey) { return oKey.keyId() == aKeyId; });
    return it == m_lKeys.end() ? nullptr : &*it;
}

} // namespace velmar::launcher
