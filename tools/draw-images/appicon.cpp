#include "drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace drawimages {

QImage drawAppIcon(int nSize)
{
    QImage oImage(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
    oImage.fill(Qt::transparent);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 256-unit square whatever the size, so every size is the same picture.
    oPainter.scale(nSize / 256.0, nSize / 256.0);

    const QRectF oTile(8, 8, 240, 240);
    QLinearGradient oBackground(0, 8, 0, 248);
    oBackground.setColorAt(0, QColor(0x2a, 0x31, 0x3d));
    oBackground.setColorAt(1, QColor(0x0b, 0x0d, 0x11));
    oPainter.setPen(QPen(kText.darker(160), 4));
    oPainter.setBrush(oBackground);
    oPainter.drawRoundedRect(oTile, 44, 44);

    QRadialGradient oGlow(QPointF(128, 118), 110);
    oGlow.setColorAt(0, QColor(0x5a, 0x4a, 0x2a, 170));
    oGlow.setColorAt(1, QColor(0, 0, 0, 0));
    oPainter.setPen(Qt::NoPen);
    oPainter.setBrush(oGlow);
    oPainter.drawRoundedRect(oTile, 44, 44);

    drawMedallion(oPainter, QPointF(128, 128), 88, 9, QPointF(118, 134), 62);
    return oImage;
}

} // namespace drawimages
