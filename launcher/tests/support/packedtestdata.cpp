#include "packedtestdata.h"

#include <QRandomGenerator>

namespace {

// Base-128 varint, least significant group first.
QByteArray testVarint(quint64 nValue)
{
    QByteArray aBytes;
    do {
        const char cGroup = static_cast<char>(nValue & 0x7f);
        nValue >>= 7;
        aBytes.append(nValue ? static_cast<char>(cGroup | 0x80) : cGroup);
    } while (nValue);
    return aBytes;
}

} // namespace

QByteArray packedTestStream(int nMethod, quint64 nUnpackedSize, const QByteArray& aPayload, qint64 nPackedSize)
{
    QByteArray aStream("p");
    aStream.append(static_cast<char>(nMethod));
    aStream.append(testVarint(nUnpackedSize));
    aStream.append(testVarint(nPackedSize < 0 ? static_cast<quint64>(aPayload.size()) : static_cast<quint64>(nPackedSize)));
    aStream.append(aPayload);
    return aStream;
}

QByteArray payloadOfPackedStream(const QByteArray& aStream)
{
    int nOffset = 2;
    for (int nVarint = 0; nVarint < 2; ++nVarint) {
        while (nOffset < aStream.size() && (static_cast<uchar>(aStream.at(nOffset)) & 0x80))
            ++nOffset;
        ++nOffset;
    }
    return aStream.mid(nOffset);
}

QByteArray textLikeTestBytes(int nSize, quint32 nSeed)
{
    static const char* const kWords[] = {"raven", "corvane", "launcher", "chunk", "the", "of", "package",
                                         "client", "a", "download", "verify", "and", "file", "online",
                                         "data", "to", "is", "in", "north", "winter", "shadow", "light"};
    constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);
    QRandomGenerator oGenerator(nSeed);
    QByteArray aBytes;
    aBytes.reserve(nSize + 16);
    while (aBytes.size() < nSize) {
        aBytes.append(kWords[oGenerator.bounded(kWordCount)]);
        const quint32 nBreak = oGenerator.bounded(12);
        aBytes.append(nBreak == 0 ? ".\n" : nBreak == 1 ? ", " : " ");
    }
    aBytes.truncate(nSize);
    return aBytes;
}
