#include "fileoperation.h"

#ifdef CORVANE_CRASH_POINTS
#include <QAtomicInteger>
#include <QByteArray>
#include <QFile>

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
};

TFaultSetting readFaultSetting()
{
    const QByteArray aSetting = qgetenv("CORVANE_FAIL_FILE_OP");
    const int nColon = aSetting.indexOf(':');
    TFaultSetting oSetting;
    if (nColon < 0)
        return oSetting;
    oSetting.m_nOperation = aSetting.left(nColon).toInt();
    const QByteArray aError = aSetting.mid(nColon + 1);
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
    switch (eOperation) {
    case EFileOperation::Open:
        return "open";
    case EFileOperation::Read:
        return "read";
    case EFileOperation::Write:
        return "write";
    case EFileOperation::Sync:
        return "sync";
    case EFileOperation::Rename:
        return "rename";
    case EFileOperation::Remove:
        return "remove";
    case EFileOperation::CreateFolder:
        return "create folder";
    case EFileOperation::Resize:
        return "resize";
    }
    return "?";
}

} // namespace

int fileOperationFault(EFileOperation eOperation, const QString& sFile)
{
    static const TFaultSetting s_oSetting = readFaultSetting();
    static QAtomicInteger<int> s_nOperations;
    if (s_oSetting.m_nError == 0 || ++s_nOperations != s_oSetting.m_nOperation)
        return 0;
    std::fprintf(stderr, "CORVANE_FAIL_FILE_OP: operation %d (%s of %s) fails with %s\n", s_oSetting.m_nOperation,
                 operationName(eOperation), QFile::encodeName(sFile).constData(), s_oSetting.m_pErrorName);
    std::fflush(stderr);
    return s_oSetting.m_nError;
}
#else
int fileOperationFault(EFileOperation, const QString&)
{
    return 0;
}
#endif

} // namespace shared
