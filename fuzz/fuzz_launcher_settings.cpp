// The settings file next to the launcher, read from disk. Each input gets a file
// name of its own: QSettings keeps parsed files by name and would not notice a
// rewrite within the same clock tick.

#include "fuzzinput.h"
#include "quietlog.h"

#include "launcher/documents/launchersettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static QTemporaryDir oFolder;
    static quint64 nInput = 0;
    const QString sPath = oFolder.filePath(QStringLiteral("launchersettings-%1.ini").arg(++nInput));
    {
        QFile oFile(sPath);
        if (!oFile.open(QIODevice::WriteOnly) || oFile.write(reinterpret_cast<const char*>(pData), qint64(nSize)) != qint64(nSize))
            std::abort();
    }
    velmar::launcher::TLauncherSettings oSettings(sPath);
    QFile::remove(sPath);
    return 0;
}
