// An HTTP answer as a server sends it, read in two parts split where the first
// byte says: the head parser and the body decoders of plain-http downloads.

#include "fuzzinput.h"
#include "quietlog.h"

#include "shared/httpresponseparser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    const QByteArray aAnswer = fuzzBytes(pData + 1, nSize - 1);
    const int nSplit = aAnswer.isEmpty() ? 0 : pData[0] % aAnswer.size();
    shared::THttpResponseParser oParser;
    QByteArray aInput = aAnswer.left(nSplit);
    QByteArray aBody;
    oParser.feed(aInput, aBody);
    aInput += aAnswer.mid(nSplit);
    oParser.feed(aInput, aBody);
    oParser.closeInput();
    oParser.field("Content-Type");
    return 0;
}
