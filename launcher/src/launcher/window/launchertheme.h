#pragma once

class QApplication;

namespace velmar::launcher {

// Gives the whole application the window's theme: themeStyleSheet() and the
// colour of links in texts. Once, before any box or window opens.
void applyLauncherTheme(QApplication& oApplication);

} // namespace velmar::launcher
