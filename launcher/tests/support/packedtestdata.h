#pragma once

#include "noisebytes.h"

#include <QByteArray>
#include <QRandomGenerator>

// Test data for the packed format, built here from the format's rules rather than
// with the code under test.

// Marker, method, both sizes in base-128 varints (least significant group first)
// and the payload. nPackedSize defaults to the payload's size.
inline QByteArray packedTestStream(int nMethod, quint64 nUnpackedSize, const QByteArray& aPayload,
                                   qint64 nPackedSize = -1)
{
    QByteArray aStream("p");
    aStream.append(static_cast<char>(nMethod));
    for (quint64 nValue : {nUnpackedSize, nPackedSize < 0 ? quint64(aPayload.size()) : quint64(nPackedSize)}) {
        for (; nValue >= 0x80; nValue >>= 7)
            aStream.append(static_cast<char>((nValue & 0x7f) | 0x80));
        aStream.append(static_cast<char>(nValue));
    }
    return aStream + aPayload;
}

// The payload of a stream made by packedTestStream() or by the packer (no leading zeros).
inline QByteArray payloadOfPackedStream(const QByteArray& aStream)
{
    int nOffset = 2;
    for (int nVarint = 0; nVarint < 2; ++nVarint) {
        while (nOffset < aStream.size() && (static_cast<uchar>(aStream.at(nOffset)) & 0x80))
            ++nOffset;
        ++nOffset;
    }
    return aStream.mid(nOffset);
}

// Words, spaces and line breaks from a fixed seed: compresses like text does.
inline QByteArray textLikeTestBytes(int nSize, quint32 nSeed)
{
    static const char* const kWords[] = {"raven", "corvane", "launcher", "chunk", "the", "of", "package",
                                         "client", "a", "download", "verify", "and", "file", "online",
                                         "data", "to", "is", "in", "north", "winter", "shadow", "light"};
    QRandomGenerator oGenerator(nSeed);
    QByteArray aBytes;
    aBytes.reserve(nSize + 16);
    while (aBytes.size() < nSize) {
        aBytes.append(kWords[oGenerator.bounded(int(sizeof(kWords) / sizeof(kWords[0])))]);
        const quint32 nBreak = oGenerator.bounded(12);
        aBytes.append(nBreak == 0 ? ".\n" : nBreak == 1 ? ", " : " ");
    }
    aBytes.truncate(nSize);
    return aBytes;
}
