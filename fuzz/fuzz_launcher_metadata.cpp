// The launcher metadata as it arrives from the network or the local copy: the
// reader either throws TLauncherConfigurationException or gives packages whose
// builds can be asked for.

#include "fuzzinput.h"
#include "qtjsonleak.h"
#include "quietlog.h"

#include "launcher/documents/launcherconfigurationexception.h"
#include "launcher/documents/launcherconfigurationreader.h"

using namespace velmar::launcher;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    try {
        const TLauncherConfigurationReader oReader(fuzzBytes(pData, nSize),
                                                   QUrl(QStringLiteral("https://cdn.corvane.example/meta/")));
        std::vector<std::shared_ptr<TPackage>> lPackages = oReader.packages();
        if (oReader.launcherPackage())
            lPackages.push_back(oReader.launcherPackage());
        for (const std::shared_ptr<TPackage>& pPackage : lPackages)
            pPackage->platformBuild();
    } catch (const TLauncherConfigurationException&) {
    }
    return 0;
}
