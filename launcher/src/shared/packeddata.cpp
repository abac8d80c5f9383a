#include "packeddata.h"

namespace shared {

// The decoders arrive with the packed-format work; until then nothing is unpacked.
QByteArray unpackStrict(const QByteArray& aInput)
{
    return aInput;
}

QByteArray unpackLenient(const QByteArray& aInput)
{
    return aInput;
}

} // namespace shared
