#pragma once

#include <QByteArray>

namespace shared {

// Bytes that are not in the packed format are returned unchanged by both.
// Throws TDecompressionError "Invalid input data could not be decompressed" when
// packed bytes fail to decode.
QByteArray unpackStrict(const QByteArray& aInput);
// As unpackStrict, but a decoding failure returns the input unchanged.
QByteArray unpackLenient(const QByteArray& aInput);

} // namespace shared
