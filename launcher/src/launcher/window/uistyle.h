#pragma once

#include <QString>

namespace velmar::launcher {

// The colour of every text of the window, and the dark of its panels, which
// boxes, menus and tooltips take as their background.
inline const QString kTextColour = QStringLiteral("#DADABC");
inline const QString kPanelColour = QStringLiteral("#16191F");
// Links in texts: the green of a hint pane under the mouse.
inline const QString kLinkColour = QStringLiteral("#8ED838");

// The one look of every text of the window, at a given pixel size and colour.
inline QString textStyle(int nPixels, const QString& sColour = kTextColour)
{
    return QStringLiteral("font-family: \"Liberation Sans\"; font-variant: small-caps; font-size: %1px; "
                          "font-weight: bold; color: %2;")
        .arg(nPixels)
        .arg(sColour);
}

// The window's own vertical scroll bars, drawn with its pictures.
inline QString scrollBarStyle()
{
    return QStringLiteral(
               "QScrollBar:vertical { width: 12px; margin: 12px 0 12px 0; border-image: url(%1scrollbar-texture-vertical.png); }\n"
               "QScrollBar::handle:vertical { border-image: url(%1scrollbar-handle-vertical.png) 6 0 6 0 stretch; "
               "border-width: 6px 0 6px 0; min-height: 12px; }\n"
               "QScrollBar::sub-line:vertical { height: 12px; subcontrol-position: top; subcontrol-origin: margin; "
               "border-image: url(%1scrollbar-buttonup-up.png); }\n"
               "QScrollBar::sub-line:vertical:pressed { border-image: url(%1scrollbar-buttonup-down.png); }\n"
               "QScrollBar::add-line:vertical { height: 12px; subcontrol-position: bottom; subcontrol-origin: margin; "
               "border-image: url(%1scrollbar-buttondown-up.png); }\n"
               "QScrollBar::add-line:vertical:pressed { border-image: url(%1scrollbar-buttondown-down.png); }\n"
               "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
        .arg(QStringLiteral(":/images/launcher/"));
}

// The window's theme for what opens above it: message boxes, menus and
// tooltips. Set once on the whole application (applyLauncherTheme()), so that a box without a parent
// and every widget's tooltip look alike; a QToolTip rule in a widget's own
// style sheet would restyle that widget's tooltips.
inline QString themeStyleSheet()
{
    const QString sButton = QStringLiteral("border-image: url(:/images/launcher/Button_Blue_%1.png) 4 4 4 4 repeat scale; "
                                           "border: 4px transparent;");
    return QStringLiteral(
               "QMessageBox, QMenu, QToolTip { background-color: %1; color: %2; font-family: \"Liberation Sans\"; "
               "font-size: 13px; }\n"
               "QMenu, QToolTip { border: 1px solid #6E6E5E; }\n"
               "QToolTip { padding: 2px; font-size: 12px; }\n"
               "QMenu::item { padding: 4px 18px; background: transparent; }\n"
               "QMenu::item:selected { background-color: #2C3440; }\n"
               "QMenu::item:disabled { color: #7A7A68; }\n"
               "QMessageBox QLabel { color: %2; font-family: \"Liberation Sans\"; font-size: 13px; }\n"
               "QMessageBox QPushButton { %3 %4 min-width: 64px; min-height: 20px; padding: 0 8px; }\n"
               "QMessageBox QPushButton:hover, QMessageBox QPushButton:focus { %5 }\n"
               "QMessageBox QPushButton:pressed { %6 }")
        .arg(kPanelColour, kTextColour, sButton.arg(QStringLiteral("idle")), textStyle(13),
             sButton.arg(QStringLiteral("hover")), sButton.arg(QStringLiteral("pressed")));
}

// Rich text of a picture that is a link.
inline QString pictureLinkHtml(const QString& sTarget, const QString& sImage)
{
    return QStringLiteral("<a href=\"%1\"><img src=\"%2\"/></a>").arg(sTarget, sImage);
}

} // namespace velmar::launcher
