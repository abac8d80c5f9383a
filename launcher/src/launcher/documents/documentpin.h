#pragma once

#include "shared/sha256digest.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace velmar::launcher {

// The size and SHA-256 that signed metadata gives a package or asset document,
// so that one signature covers every document and, through their chunk hashes,
// every installed byte. Read from a build's "<prefix>size" and "<prefix>hash"
// members; a pin given but unreadable matches no document.
class TDocumentPin
{
public:
    TDocumentPin() = default;
    TDocumentPin(quint64 nSize, const shared::TSha256Digest& oHash);

    // Nothing when the object has neither member, so that metadata without pins
    // reads as before.
    static TDocumentPin fromJson(const QJsonObject& oBuild, const QString& sPrefix);

    bool isPresent() const { return m_bPresent; }
    quint64 size() const { return m_nSize; }
    const shared::TSha256Digest& hash() const { return m_oHash; }
    // Empty when the bytes are the pinned document, else why not.
    QString mismatch(const QByteArray& aBytes) const;

private:
    bool m_bPresent = false;
    quint64 m_nSize = 0;
    shared::TSha256Digest m_oHash;
};

} // namespace velmar::launcher
