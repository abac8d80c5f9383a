#include "launchertheme.h"

#include "uistyle.h"

#include <QApplication>
#include <QColor>
#include <QPalette>

namespace velmar::launcher {

void applyLauncherTheme(QApplication& oApplication)
{
    // A style sheet has no word for the colour of links: the palette has.
    QPalette oPalette = oApplication.palette();
    oPalette.setColor(QPalette::Link, QColor(kLinkColour));
    oPalette.setColor(QPalette::LinkVisited, QColor(kLinkColour));
    oApplication.setPalette(oPalette);
    oApplication.setStyleSheet(themeStyleSheet());
}

} // namespace velmar::launcher
