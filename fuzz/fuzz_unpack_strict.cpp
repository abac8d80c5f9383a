// Strict unpack of arbitrary bytes: it returns bytes that are not packed as they
// are, and otherwise either unpacks or throws TDecompressionError with its one text.

#include "fuzzinput.h"

#include "shared/decompressionerror.h"
#include "shared/packeddata.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const QByteArray aInput = fuzzBytes(pData, nSize);
    if (declaresLargeOutput(aInput))
        return 0;
    try {
        const QByteArray aOutput = shared::unpackStrict(aInput);
        if (!shared::isPackedStream(aInput) && aOutput != aInput)
            std::abort();
    } catch (const shared::TDecompressionError& oError) {
        if (!shared::isPackedStream(aInput) ||
            std::strcmp(oError.what(), "Invalid input data could not be decompressed") != 0)
            std::abort();
    }
    return 0;
}
