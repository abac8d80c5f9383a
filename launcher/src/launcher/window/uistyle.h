#pragma once

#include <QString>

namespace velmar::launcher {

// The one look of every text of the window, at a given pixel size and colour.
inline QString textStyle(int nPixels, const QString& sColour = QStringLiteral("#DADABC"))
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
               "QScrollBar::handle:vertical { border-image: url(%1scrollbar-handle-vertical.png) 6 6 6 6; min-height: 12px; }\n"
               "QScrollBar::sub-line:vertical { height: 12px; subcontrol-position: top; subcontrol-origin: margin; "
               "border-image: url(%1scrollbar-buttonup-up.png); }\n"
               "QScrollBar::sub-line:vertical:pressed { border-image: url(%1scrollbar-buttonup-down.png); }\n"
               "QScrollBar::add-line:vertical { height: 12px; subcontrol-position: bottom; subcontrol-origin: margin; "
               "border-image: url(%1scrollbar-buttondown-up.png); }\n"
               "QScrollBar::add-line:vertical:pressed { border-image: url(%1scrollbar-buttondown-down.png); }\n"
               "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
        .arg(QStringLiteral(":/images/launcher/"));
}

// Rich text of a picture that is a link.
inline QString pictureLinkHtml(const QString& sTarget, const QString& sImage)
{
    return QStringLiteral("<a href=\"%1\"><img src=\"%2\"/></a>").arg(sTarget, sImage);
}

} // namespace velmar::launcher
