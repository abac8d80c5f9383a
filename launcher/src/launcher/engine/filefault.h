#pragma once

#include <QString>

namespace velmar::launcher {

// Why an installed file failed its check.
enum class EFileFault
{
    None,
    Missing,
    // It could not be opened or read: the system's reason goes with it.
    Unreadable,
    Differs,
    // The package marks it executable and its mode does not allow it.
    NotExecutable,
    // Its path in the installed description leads out of the folder: not read.
    UnsafePath,
    // The check ended before the file was read whole (the installation is going).
    Interrupted,
};

// The first file a check found at fault, for the player: which one and why.
struct TFileFault
{
    QString m_sFile;
    EFileFault m_eFault = EFileFault::None;
    // The system's words for an unreadable file.
    QString m_sSystemReason;

    bool isSet() const { return m_eFault != EFileFault::None; }
    // One sentence naming the file and its fault, such as "bin/client" is missing.
    QString text() const;
};

} // namespace velmar::launcher
