// Lenient unpack of arbitrary bytes: it never throws, and gives what the strict
// unpack gives, or the input itself where the strict unpack fails.

#include "fuzzinput.h"

#include "shared/decompressionerror.h"
#include "shared/packeddata.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const QByteArray aInput = fuzzBytes(pData, nSize);
    if (declaresLargeOutput(aInput))
        return 0;
    const QByteArray aLenient = shared::unpackLenient(aInput);
    QByteArray aExpected;
    try {
        aExpected = shared::unpackStrict(aInput);
    } catch (const shared::TDecompressionError&) {
        aExpected = aInput;
    }
    if (aLenient != aExpected)
        std::abort();
    return 0;
}
