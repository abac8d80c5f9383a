#pragma once

#include <QByteArray>

namespace shared {

// The payload of one method for a non-empty input, without the packed header.
// Each throws std::runtime_error when the compressor fails; nLevel is one of the
// method's packLevels().

// Raw deflate stream, no zlib or gzip wrapper.
QByteArray deflatePayload(const QByteArray& aInput, int nLevel);
// One lzip member: "LZIP", version 1, coded dictionary size, LZMA data, trailer.
QByteArray lzipPayload(const QByteArray& aInput, int nLevel);
// LZMA with the 13-byte header (properties, dictionary size, unknown size) and an end marker.
QByteArray lzmaPayload(const QByteArray& aInput, int nLevel);
// ZPAQ stream with a SHA-1 checksum per segment.
QByteArray zpaqPayload(const QByteArray& aInput, int nLevel);
// LZ77 bit stream of method 21.
QByteArray crushPayload(const QByteArray& aInput);

} // namespace shared
