#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <utility>
#include <vector>

namespace drawimages {

// The colour of every text of the launcher.
inline const QColor kText(0xDA, 0xDA, 0xBC);

// A corvid's head and beak in profile, made of two curves.
QPainterPath emblem(const QPointF& oCentre, double dScale);
// The emblem on a dark disc in a ring of dRing pixels.
void drawMedallion(QPainter& oPainter, const QPointF& oCentre, double dRadius, double dRing, const QPointF& oEmblem,
                   double dScale);
QImage drawSplash(const QString& sCaption);
// The launcher's icon for the desktop's menu, nSize pixels square.
QImage drawAppIcon(int nSize);
// Everything the window shows, by resource file name.
void addWindowPictures(std::vector<std::pair<QString, QImage>>& lPictures);
// The hint pictures the screenshot script serves, by file name; not compiled in.
void addDemoHintPictures(std::vector<std::pair<QString, QImage>>& lPictures);

} // namespace drawimages
