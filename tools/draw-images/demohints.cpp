#include "drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>

namespace drawimages {

namespace {

// Twice a hint pane's picture (290 by 80): the pane fills itself by cropping,
// slants its sides by half its height and lays its caption over the bottom
// third, so whatever tells the picture stands in the middle of the upper part.
constexpr int kHintWidth = 580;
constexpr int kHintHeight = 160;
const QPointF kSubject(kHintWidth / 2.0, 56);

// A dark ground with the variant's colour glowing behind the subject, to the
// very edges, so that any crop still fills the pane.
void drawGround(QPainter& oPainter, const QColor& oAccent)
{
    QLinearGradient oDark(0, 0, 0, kHintHeight);
    oDark.setColorAt(0, QColor(0x1c, 0x22, 0x2c));
    oDark.setColorAt(1, QColor(0x0a, 0x0c, 0x10));
    oPainter.fillRect(QRect(0, 0, kHintWidth, kHintHeight), oDark);
    QRadialGradient oGlow(kSubject, 170);
    oGlow.setColorAt(0, QColor(oAccent.red(), oAccent.green(), oAccent.blue(), 150));
    oGlow.setColorAt(1, QColor(0, 0, 0, 0));
    oPainter.fillRect(QRect(0, 0, kHintWidth, kHintHeight), oGlow);
}

// The new season: a moon over the ridges, the emblem before it.
QImage drawSeasonHint()
{
    QImage oImage(kHintWidth, kHintHeight, QImage::Format_RGB32);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    drawGround(oPainter, QColor(0x8a, 0x74, 0x48));
    oPainter.setPen(Qt::NoPen);
    oPainter.setBrush(QColor(0xe8, 0xdc, 0xb0));
    oPainter.drawEllipse(kSubject, 34, 34);
    const struct { double fBase; QColor oColour; double fPhase; } aRidges[] = {
        {104, QColor(0x1e, 0x24, 0x2e), 0.4},
        {126, QColor(0x13, 0x17, 0x1e), 2.1},
    };
    for (const auto& oRidge : aRidges) {
        QPainterPath oPath(QPointF(0, kHintHeight));
        for (int nX = 0; nX <= kHintWidth; nX += 10)
            oPath.lineTo(nX, oRidge.fBase - 14 * std::sin(nX / 60.0 + oRidge.fPhase));
        oPath.lineTo(kHintWidth, kHintHeight);
        oPath.closeSubpath();
        oPainter.fillPath(oPath, oRidge.oColour);
    }
    oPainter.setBrush(QColor(0x14, 0x17, 0x1d));
    oPainter.drawPath(emblem(kSubject + QPointF(-4, 6), 30));
    return oImage;
}

// A variant: its badge's shape in its colour beside the medallion.
QImage drawVariantHint(const QColor& oAccent, bool bDiamond)
{
    QImage oImage(kHintWidth, kHintHeight, QImage::Format_RGB32);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    drawGround(oPainter, oAccent);
    drawMedallion(oPainter, kSubject - QPointF(40, 0), 34, 3, kSubject - QPointF(44, -2), 24);
    const QPointF oBadge = kSubject + QPointF(46, 0);
    oPainter.setPen(QPen(QColor(0xff, 0xff, 0xf4), 3));
    oPainter.setBrush(oAccent);
    if (bDiamond)
        oPainter.drawPolygon(QPolygonF({oBadge + QPointF(0, -34), oBadge + QPointF(34, 0), oBadge + QPointF(0, 34),
                                        oBadge + QPointF(-34, 0)}));
    else
        oPainter.drawRoundedRect(QRectF(oBadge - QPointF(26, 26), QSizeF(52, 52)), 6, 6);
    return oImage;
}

} // namespace

void addDemoHintPictures(std::vector<std::pair<QString, QImage>>& lPictures)
{
    lPictures.emplace_back(QStringLiteral("season.png"), drawSeasonHint());
    lPictures.emplace_back(QStringLiteral("preview.png"), drawVariantHint(QColor(0x24, 0x6c, 0xc8), true));
    lPictures.emplace_back(QStringLiteral("beta.png"), drawVariantHint(QColor(0xc0, 0x86, 0x10), false));
}

} // namespace drawimages
