// A CDN trace answer as it arrives from the network.

#include "fuzzinput.h"

#include "launcher/documents/cdntracefields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    velmar::launcher::parseCdnTrace(fuzzBytes(pData, nSize));
    return 0;
}
