#include "filefault.h"

namespace velmar::launcher {

QString TFileFault::text() const
{
    switch (m_eFault) {
    case EFileFault::None:
        break;
    case EFileFault::Missing:
        return QStringLiteral("\"%1\" is missing.").arg(m_sFile);
    case EFileFault::Unreadable:
        return QStringLiteral("\"%1\" cannot be read: %2.").arg(m_sFile, m_sSystemReason);
    case EFileFault::Differs:
        return QStringLiteral("\"%1\" differs from the published file.").arg(m_sFile);
    case EFileFault::NotExecutable:
        return QStringLiteral("\"%1\" is not executable.").arg(m_sFile);
    case EFileFault::UnsafePath:
        return QStringLiteral("\"%1\" is not a path inside the package folder.").arg(m_sFile);
    case EFileFault::Interrupted:
        return QStringLiteral("\"%1\" was not checked to the end: the verification was stopped.").arg(m_sFile);
    }
    return QString();
}

} // namespace velmar::launcher
