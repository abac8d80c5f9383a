#pragma once

#include <QLoggingCategory>

namespace velmar::launcher {

// The install engine's step lines, several per chunk: the launcher logs them all,
// a tool may switch them off ("corvane.install.info=false") and save their formatting.
Q_DECLARE_LOGGING_CATEGORY(lcInstallSteps)

} // namespace velmar::launcher
