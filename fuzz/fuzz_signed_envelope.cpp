// Signed metadata as it arrives from the network or lies in the local copy:
// its layout taken apart, its signature checked against a trusted key, and,
// when that key signed it, the metadata inside read with the pins of its documents.

#include "fuzzinput.h"
#include "qtjsonleak.h"
#include "quietlog.h"

#include "launcher/documents/envelopecheck.h"
#include "launcher/documents/launcherconfigurationexception.h"
#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "launcher/documents/trustedkeys.h"

namespace {

// The corpus's envelopes are signed by this key, so that the fuzzer starts past the signature.
const char kCorpusKey[] = "ed25519:niPr82fP/Q/d82hY0IpkYpxJeKrGGCEUTWUu0qUMFCY=";
// 2027-01-15: the corpus's envelopes are current then.
constexpr qint64 kNow = 1800000000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const velmar::launcher::TTrustedKeys oKeys = [] {
        velmar::launcher::TTrustedKeys oTrusted;
        oTrusted.add(QString::fromLatin1(kCorpusKey));
        return oTrusted;
    }();
    const QByteArray aInput = fuzzBytes(pData, nSize);
    const velmar::launcher::TEnvelopeCheck oCheck(aInput, oKeys, 1, kNow);
    if (!oCheck.isAuthentic())
        return 0;
    try {
        const velmar::launcher::TLauncherConfigurationReader oReader(oCheck.envelope()->payload(),
                                                                    QUrl(QStringLiteral("https://cdn.invalid/")));
        for (const auto& pPackage : oReader.packages()) {
            if (const velmar::launcher::TPackageBuild* pBuild = pPackage->platformBuild()) {
                pBuild->packagePin().mismatch(aInput);
                pBuild->assetPin().mismatch(QByteArray());
            }
        }
    } catch (const velmar::launcher::TLauncherConfigurationException&) {
    }
    return 0;
}
