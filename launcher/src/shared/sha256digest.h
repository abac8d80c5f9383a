#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

#include <array>
#include <cstring>

namespace shared {

// The 32 raw bytes of a SHA-256 digest, or none. Held inline so that a list of
// several hundred thousand chunk descriptions costs no allocation per hash.
class TSha256Digest
{
public:
    static constexpr int kSize = 32;

    TSha256Digest() = default;

    // 64 hexadecimal digits in either letter case; anything else gives no digest,
    // which equals no real hash.
    static TSha256Digest fromHex(QLatin1String sHex);
    // Exactly 32 bytes; anything else gives no digest.
    static TSha256Digest fromBytes(const QByteArray& aBytes);

    bool isEmpty() const { return !m_bPresent; }
    // The raw bytes, empty when there is no digest.
    QByteArray toByteArray() const;
    QString toHex() const;
    const unsigned char* data() const { return m_aBytes.data(); }

    bool operator==(const TSha256Digest& oOther) const
    {
        return m_bPresent == oOther.m_bPresent && m_aBytes == oOther.m_aBytes;
    }
    bool operator!=(const TSha256Digest& oOther) const { return !(*this == oOther); }
    bool operator<(const TSha256Digest& oOther) const
    {
        if (m_bPresent != oOther.m_bPresent)
            return !m_bPresent;
        return m_aBytes < oOther.m_aBytes;
    }
    // Compares with raw digest bytes such as TSha256::hash() returns.
    bool operator==(const QByteArray& aBytes) const { return *this == fromBytes(aBytes); }
    bool operator!=(const QByteArray& aBytes) const { return !(*this == aBytes); }

private:
    std::array<unsigned char, kSize> m_aBytes{};
    bool m_bPresent = false;
};

inline uint qHash(const TSha256Digest& oDigest, uint nSeed = 0)
{
    return qHashBits(oDigest.data(), TSha256Digest::kSize, nSeed);
}

} // namespace shared
