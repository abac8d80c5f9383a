#include "installlog.h"

namespace velmar::launcher {

Q_LOGGING_CATEGORY(lcInstallSteps, "corvane.install")

} // namespace velmar::launcher
