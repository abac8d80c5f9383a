#pragma once

#include <QByteArray>

namespace shared {

// Bytes that are not in the packed format are returned unchanged by both.
// Throws TDecompressionError "Invalid input data could not be decompressed" when
// packed bytes fail to decode.
QByteArray unpackStrict(const QByteArray& aInput);
// As unpackStrict, for bytes whose size is known beforehand: a stream that
// declares more than nMaximumSize unpacked bytes fails before anything is
// allocated, so a small hostile stream cannot claim gigabytes.
QByteArray unpackStrict(const QByteArray& aInput, quint64 nMaximumSize);
// As unpackStrict, but a decoding failure returns the input unchanged.
QByteArray unpackLenient(const QByteArray& aInput);

} // namespace shared
