#include "drawing.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace drawimages {

QPainterPath emblem(const QPointF& oCentre, double dScale)
{
    QPainterPath oPath;
    oPath.moveTo(-1.0, 0.2);
    oPath.cubicTo(-0.9, -0.7, 0.1, -1.0, 0.5, -0.35);
    oPath.lineTo(1.25, -0.15);
    oPath.lineTo(0.55, 0.05);
    oPath.cubicTo(0.35, 0.6, -0.3, 0.95, -1.0, 0.2);
    oPath.closeSubpath();
    oPath.addEllipse(QPointF(0.05, -0.38), 0.09, 0.09);
    oPath.setFillRule(Qt::OddEvenFill);
    QTransform oTransform;
    oTransform.translate(oCentre.x(), oCentre.y());
    oTransform.scale(dScale, dScale);
    return oTransform.map(oPath);
}

void drawMedallion(QPainter& oPainter, const QPointF& oCentre, double dRadius, double dRing, const QPointF& oEmblem,
                   double dScale)
{
    oPainter.setPen(QPen(kText, dRing));
    oPainter.setBrush(QColor(0x14, 0x17, 0x1d));
    oPainter.drawEllipse(oCentre, dRadius, dRadius);
    oPainter.setPen(Qt::NoPen);
    oPainter.setBrush(kText);
    oPainter.drawPath(emblem(oEmblem, dScale));
}

QImage drawSplash(const QString& sCaption)
{
    QImage oImage(600, 320, QImage::Format_ARGB32_Premultiplied);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient oBackground(0, 0, 0, oImage.height());
    oBackground.setColorAt(0, QColor(0x1d, 0x22, 0x2b));
    oBackground.setColorAt(1, QColor(0x0b, 0x0d, 0x11));
    oPainter.fillRect(oImage.rect(), oBackground);

    QRadialGradient oGlow(QPointF(300, 120), 170);
    oGlow.setColorAt(0, QColor(0x5a, 0x4a, 0x2a, 150));
    oGlow.setColorAt(1, QColor(0, 0, 0, 0));
    oPainter.fillRect(oImage.rect(), oGlow);

    drawMedallion(oPainter, QPointF(300, 115), 70, 3, QPointF(292, 118), 48);

    QFont oTitle(QStringLiteral("Liberation Sans"), 30, QFont::Bold);
    oTitle.setCapitalization(QFont::SmallCaps);
    oTitle.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    oPainter.setFont(oTitle);
    oPainter.setPen(kText);
    oPainter.drawText(QRectF(0, 200, 600, 50), Qt::AlignCenter, QStringLiteral("Corvane Online"));

    QFont oCaption(QStringLiteral("Liberation Sans"), 13, QFont::Bold);
    oCaption.setCapitalization(QFont::SmallCaps);
    oPainter.setFont(oCaption);
    oPainter.setPen(kText.darker(125));
    oPainter.drawText(QRectF(0, 255, 600, 30), Qt::AlignCenter, sCaption);

    oPainter.setPen(QPen(kText.darker(160), 1));
    oPainter.setBrush(Qt::NoBrush);
    oPainter.drawRect(QRectF(0.5, 0.5, oImage.width() - 1, oImage.height() - 1));
    return oImage;
}

} // namespace drawimages
