#include "fileoperation.h"

#ifdef CORVANE_CRASH_POINTS
#include <QAtomicInteger>
#include <QByteArray>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#endif

namespace shared {

#ifdef CORVANE_CRASH_POINTS
namespace {

struct TFaultSetting
{
    int m_nOperation = 0;
    int m_nError = 0;
    const char* m_pErrorName = "";
    // Only operations on paths that end so count, when given.
    QString m_sPathEnd;
};

TFaultSetting readFaultSetting()
{
    const QByteArray aSetting = qgetenv("CORVANE_FAIL_FILE_OP");
    const int nColon = aSetting.indexOf(':');
    TFaultSetting oSetting;
    if (nColon < 0)
        return oSetting;
    oSetting.m_nOperation = aSetting.left(nColon).toInt();
    const int nSecondColon = aSetting.indexOf(':', nColon + 1);
    const QByteArray aError = aSetting.mid(nColon + 1, nSecondColon < 0 ? -1 : nSecondColon - nColon - 1);
    if (nSecondColon >= 0)
        oSetting.m_sPathEnd = QFile::decodeName(aSetting.mid(nSecondColon + 1));
    if (aError == "EIO") {
        oSetting.m_nError = EIO;
        oSetting.m_pErrorName = "EIO";
    } else if (aError == "ENOSPC") {
        oSetting.m_nError = ENOSPC;
        oSetting.m_pErrorName = "ENOSPC";
    }
    return oSetting;
}

const char* operationName(EFileOperation eOperation)
{
    static const char* const s_lNames[] = {"open", "read", "write", "sync", "rename", "remove", "create folder", "resize"};
    return s_lNames[int(eOperation)];
}

// Tells, as the process ends, how many operations a run had when the fault
// was never reached, so that a test knows it has tried every one.
class TFaultGate
{
public:
    ~TFaultGate()
    {
        if (m_oSetting.m_nError != 0 && !m_bFired)
            std::fprintf(stderr, "CORVANE_FAIL_FILE_OP: operation %d not reached, the run had %d\n", m_oSetting.m_nOperation,
                         int(m_nOperations));
    }

    int pass(EFileOperation eOperation, const QString& sFile)
    {
        if (m_oSetting.m_nError == 0 || !sFile.endsWith(m_oSetting.m_sPathEnd)
            || ++m_nOperations != m_oSetting.m_nOperation)
            return 0;
        m_bFired = true;
        std::fprintf(stderr, "CORVANE_FAIL_FILE_OP: operation %d (%s of %s) fails with %s\n", m_oSetting.m_nOperation,
                     operationName(eOperation), QFile::encodeName(sFile).constData(), m_oSetting.m_pErrorName);
        std::fflush(stderr);
        return m_oSetting.m_nError;
    }

private:
    const TFaultSetting m_oSetting = readFaultSetting();
    QAtomicInteger<int> m_nOperations;
    std::atomic<bool> m_bFired{false};
};

} // namespace

int fileOperationFault(EFileOperation eOperation, const QString& sFile)
{
    static TFaultGate s_oGate;
    return s_oGate.pass(eOperation, sFile);
}
#else
int fileOperationFault(EFileOperation, const QString&)
{
    return 0;
}
#endif

} // namespace shared
