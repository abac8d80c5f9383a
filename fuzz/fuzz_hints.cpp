// A hints document as it arrives from the network, parsed and a hint chosen.

#include "fuzzinput.h"
#include "qtjsonleak.h"
#include "quietlog.h"

#include "shared/randomhints.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::vector<shared::THint> lHints = shared::parseHints(fuzzBytes(pData, nSize));
    shared::selectHint(lHints, QDateTime::fromMSecsSinceEpoch(1735689600000, Qt::UTC));
    return 0;
}
