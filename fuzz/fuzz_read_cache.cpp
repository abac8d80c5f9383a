// The publisher's read cache as a build finds it in a CDN folder, and the
// look-ups a build makes in it.

#include "fuzzinput.h"
#include "qtjsonleak.h"
#include "quietlog.h"

#include "readcache.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const TReadCache oCache = TReadCache::fromBytes(fuzzBytes(pData, nSize));
    TSourceFile oSource;
    oSource.sPath = QStringLiteral("/source/bin/client");
    oSource.nSize = 5;
    oSource.nModified = 1700000000000000000;
    oSource.nChanged = 1700000000000000000;
    oSource.nInode = 12;
    oSource.nDevice = 34;
    if (const TReadCache::TFile* pFile = oCache.file(oSource)) {
        for (const TReadCache::TChunk& oChunk : pFile->lChunks)
            oCache.packedChunk(QStringLiteral("chunks/%1").arg(QString::fromLatin1(oChunk.aHash.toHex())));
    }
    return 0;
}
