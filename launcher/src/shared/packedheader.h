#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <optional>

namespace shared {

// The first byte after any leading zeros of a packed stream ('p').
constexpr uchar kPackedMarker = 0x70;
// Method bytes above this value mean the bytes are not a packed stream at all.
constexpr uchar kHighestPackedMethod = 23;

// Where the parts of a packed stream lie. nPayloadOffset counts from the first
// input byte, leading zeros included; the payload is nPackedSize bytes from there,
// which readPackedHeader() has checked to lie inside the input.
struct TPackedHeader
{
    uchar nMethod = 0;
    quint64 nUnpackedSize = 0;
    quint64 nPackedSize = 0;
    size_t nPayloadOffset = 0;
};

// True when, after any leading 0x00 bytes, at least two bytes remain, the first is
// the marker and the second is a method of at most kHighestPackedMethod.
bool isPackedStream(const QByteArray& aBytes);

// The header of bytes that pass isPackedStream(). Nothing when a size runs past
// the end of the input, takes more than 10 bytes or does not fit 64 bits, or when
// the payload it announces is longer than what follows the header.
std::optional<TPackedHeader> readPackedHeader(const QByteArray& aBytes);

// Marker, method and both sizes: the bytes that precede a payload.
QByteArray packedHeader(uchar nMethod, quint64 nUnpackedSize, quint64 nPackedSize);

// Base-128 varint, least significant group first, bit 7 set on every byte but the last.
void appendVarint(QByteArray& aTarget, quint64 nValue);
// Reads a varint from pData[nOffset..nSize) and moves nOffset past it. Nothing when
// it runs past nSize, takes more than 10 bytes or does not fit 64 bits.
std::optional<quint64> readVarint(const uchar* pData, size_t nSize, size_t& nOffset);

} // namespace shared
