// The package and asset documents as the launcher fetches them: the input up to
// its first NUL byte is the package document, the rest the asset document (none
// without a NUL). The reader never throws, every address it gives resolves
// inside its own texts, and the check of what it read never fails.

#include "fuzzinput.h"
#include "quietlog.h"

#include "launcher/documents/packagecheck.h"
#include "launcher/documents/packageconfigurationreader.h"

using namespace velmar::launcher;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const QByteArray aInput = fuzzBytes(pData, nSize);
    const int nSplit = aInput.indexOf('\0');
    // The package document is handed over as an unshared copy, like a file the
    // launcher read, and parsed in place; the asset document stays the fuzzer's
    // own bytes, which are copied for the parse.
    QByteArray aPackage(aInput.constData(), nSplit < 0 ? aInput.size() : nSplit);
    const QByteArray aAssets = nSplit < 0 ? QByteArray() : fuzzBytes(pData + nSplit + 1, nSize - size_t(nSplit) - 1);
    const TPackageConfigurationReader oReader(std::move(aPackage), aAssets, QUrl(QStringLiteral("https://cdn.corvane.example/live/")),
                                              QUrl(QStringLiteral("https://cdn.corvane.example/assets/")));
    oReader.versionLabel();
    for (const TChunkDescription& oChunk : oReader.chunks())
        oReader.url(oChunk);
    for (const TFileDescription& oFile : oReader.files()) {
        oReader.url(oFile.packedForm());
        for (const qint32 nChunk : oFile.chunks()) {
            if (nChunk >= 0 && size_t(nChunk) < oReader.chunks().size())
                oReader.url(oReader.chunks()[size_t(nChunk)]);
        }
    }
    configurationProblem(oReader, {}, false);
    return 0;
}
