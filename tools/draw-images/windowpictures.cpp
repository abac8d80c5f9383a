#include "drawing.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace drawimages {

namespace {

QImage canvas(int nWidth, int nHeight)
{
    QImage oImage(nWidth, nHeight, QImage::Format_ARGB32_Premultiplied);
    oImage.fill(Qt::transparent);
    return oImage;
}

QFont smallCaps(int nPixels)
{
    QFont oFont(QStringLiteral("Liberation Sans"));
    oFont.setPixelSize(nPixels);
    oFont.setBold(true);
    oFont.setCapitalization(QFont::SmallCaps);
    return oFont;
}

// Night sky over a ridge, darkening towards the bottom where the items stand.
QImage drawBackground()
{
    QImage oImage(800, 600, QImage::Format_RGB32);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient oSky(0, 0, 0, 600);
    oSky.setColorAt(0, QColor(0x2a, 0x33, 0x42));
    oSky.setColorAt(0.45, QColor(0x17, 0x1c, 0x25));
    oSky.setColorAt(1, QColor(0x08, 0x09, 0x0c));
    oPainter.fillRect(oImage.rect(), oSky);
    QRadialGradient oMoon(QPointF(620, 90), 260);
    oMoon.setColorAt(0, QColor(0x8a, 0x74, 0x48, 90));
    oMoon.setColorAt(1, QColor(0, 0, 0, 0));
    oPainter.fillRect(oImage.rect(), oMoon);
    const struct { double fBase; QColor oColour; double fPhase; } aRidges[] = {
        {250, QColor(0x1e, 0x24, 0x2e), 0.0},
        {300, QColor(0x13, 0x17, 0x1e), 1.7},
        {360, QColor(0x0c, 0x0e, 0x12), 3.1},
    };
    for (const auto& oRidge : aRidges) {
        QPainterPath oPath(QPointF(0, 600));
        for (int nX = 0; nX <= 800; nX += 20) {
            const double fY = oRidge.fBase - 28 * std::sin(nX / 90.0 + oRidge.fPhase)
                              - 14 * std::sin(nX / 37.0 + 2 * oRidge.fPhase);
            oPath.lineTo(nX, fY);
        }
        oPath.lineTo(800, 600);
        oPath.closeSubpath();
        oPainter.fillPath(oPath, oRidge.oColour);
    }
    oPainter.setPen(Qt::NoPen);
    oPainter.setBrush(QColor(0xda, 0xda, 0xbc, 28));
    oPainter.drawPath(emblem(QPointF(640, 170), 70));
    return oImage;
}

QImage drawMakerLogo()
{
    QImage oImage = canvas(112, 28);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    oPainter.setPen(QPen(kText, 2));
    oPainter.setBrush(Qt::NoBrush);
    oPainter.drawEllipse(QPointF(13, 14), 9, 9);
    oPainter.drawLine(QPointF(17, 18), QPointF(23, 24));
    oPainter.setFont(smallCaps(16));
    oPainter.drawText(QRectF(28, 0, 84, 28), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Quarlix"));
    return oImage;
}

enum class EBadge { About, Twitter, Discord };

// Round badges of the window's bottom bar; the two social ones are plain
// symbols of our own (a bird in flight, a speech bubble).
QImage drawBadge(EBadge eBadge)
{
    QImage oImage = canvas(22, 22);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    oPainter.setPen(QPen(kText, 1.5));
    oPainter.setBrush(QColor(0x20, 0x24, 0x2c, 200));
    oPainter.drawEllipse(QRectF(1, 1, 20, 20));
    oPainter.setPen(Qt::NoPen);
    oPainter.setBrush(kText);
    if (eBadge == EBadge::About) {
        oPainter.drawEllipse(QPointF(11, 6.5), 1.6, 1.6);
        oPainter.drawRoundedRect(QRectF(9.6, 9, 2.8, 8), 1, 1);
    } else if (eBadge == EBadge::Twitter) {
        QPainterPath oBird;
        oBird.moveTo(5, 12);
        oBird.quadTo(8, 8, 11, 11);
        oBird.quadTo(13, 6, 17, 6.5);
        oBird.quadTo(14, 9, 14, 12);
        oBird.quadTo(11, 16, 6, 14);
        oBird.closeSubpath();
        oPainter.drawPath(oBird);
    } else {
        QPainterPath oBubble;
        oBubble.addRoundedRect(QRectF(5, 6, 12, 8), 3, 3);
        oBubble.moveTo(8, 13);
        oBubble.lineTo(7, 17);
        oBubble.lineTo(11, 13.5);
        oBubble.closeSubpath();
        oPainter.drawPath(oBubble.simplified());
    }
    return oImage;
}

// A frame for border-image slicing: an even translucent fill (the middle is
// repeated, so it must not change from top to bottom) and a light rim.
QImage drawPanel(int nSize, int nCorner, int nAlpha)
{
    QImage oImage = canvas(nSize, nSize);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    oPainter.setBrush(QColor(0x16, 0x19, 0x1f, nAlpha));
    oPainter.setPen(QPen(QColor(0xda, 0xda, 0xbc, 110), 1));
    oPainter.drawRoundedRect(QRectF(0.5, 0.5, nSize - 1, nSize - 1), nCorner * 0.6, nCorner * 0.6);
    return oImage;
}

// The hint area's frame: its bottom is cut off (sliced at 0), so the rim runs
// along the top and the sides only and the fill reaches the bottom edge.
QImage drawOpenPanel(int nSize, int nAlpha)
{
    QImage oImage = canvas(nSize, nSize);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    oPainter.setBrush(QColor(0x16, 0x19, 0x1f, nAlpha));
    oPainter.setPen(QPen(QColor(0xda, 0xda, 0xbc, 110), 1));
    oPainter.drawRoundedRect(QRectF(0.5, 0.5, nSize - 1, nSize + 8), 3, 3);
    return oImage;
}

enum class EButtonState { Idle, Hover, Pressed };

QImage drawButton(const QColor& oBase, EButtonState eState)
{
    QImage oImage = canvas(98, 40);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    const QColor oColour = eState == EButtonState::Hover     ? oBase.lighter(125)
                           : eState == EButtonState::Pressed ? oBase.darker(130)
                                                             : oBase;
    QLinearGradient oFill(0, 0, 0, 40);
    oFill.setColorAt(0, eState == EButtonState::Pressed ? oColour.darker(115) : oColour.lighter(135));
    oFill.setColorAt(0.5, oColour);
    oFill.setColorAt(1, oColour.darker(150));
    oPainter.setBrush(oFill);
    oPainter.setPen(QPen(oColour.darker(200), 1));
    oPainter.drawRoundedRect(QRectF(0.5, 0.5, 97, 39), 4, 4);
    oPainter.setPen(QPen(QColor(255, 255, 255, eState == EButtonState::Pressed ? 20 : 60), 1));
    oPainter.drawLine(QPointF(4, 1.5), QPointF(94, 1.5));
    return oImage;
}

QImage drawIcon(const QString& sLabel)
{
    QImage oImage = canvas(24, 24);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    const QColor oInk(0xf4, 0xf4, 0xe8);
    oPainter.setPen(Qt::NoPen);
    oPainter.setBrush(oInk);
    if (sLabel == QLatin1String("Play")) {
        oPainter.drawPolygon(QPolygonF({QPointF(7, 4), QPointF(20, 12), QPointF(7, 20)}));
    } else if (sLabel == QLatin1String("Download")) {
        oPainter.drawRect(QRectF(10, 3, 4, 9));
        oPainter.drawPolygon(QPolygonF({QPointF(5, 11), QPointF(19, 11), QPointF(12, 18)}));
        oPainter.drawRect(QRectF(4, 19, 16, 2.5));
    } else {
        oPainter.setPen(QPen(oInk, 2.6, Qt::SolidLine, Qt::RoundCap));
        oPainter.setBrush(Qt::NoBrush);
        oPainter.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 250 * 16);
        oPainter.setPen(Qt::NoPen);
        oPainter.setBrush(oInk);
        oPainter.drawPolygon(QPolygonF({QPointF(14.5, 2.5), QPointF(21.5, 6), QPointF(15, 10.5)}));
    }
    return oImage;
}

QImage drawPackageLogo(const QString& sCaption, const QColor& oAccent, bool bDisabled)
{
    QImage oImage = canvas(176, 96);
    {
        QPainter oPainter(&oImage);
        oPainter.setRenderHint(QPainter::Antialiasing);
        QRadialGradient oGlow(QPointF(88, 36), 60);
        oGlow.setColorAt(0, QColor(oAccent.red(), oAccent.green(), oAccent.blue(), 120));
        oGlow.setColorAt(1, QColor(0, 0, 0, 0));
        oPainter.fillRect(oImage.rect(), oGlow);
        oPainter.setPen(QPen(kText, 2));
        oPainter.setBrush(QColor(0x14, 0x17, 0x1d, 220));
        oPainter.drawEllipse(QPointF(88, 32), 26, 26);
        oPainter.setPen(Qt::NoPen);
        oPainter.setBrush(kText);
        oPainter.drawPath(emblem(QPointF(85, 33), 18));
        oPainter.setPen(kText);
        oPainter.setFont(smallCaps(17));
        oPainter.drawText(QRectF(0, 58, 176, 20), Qt::AlignCenter, QStringLiteral("Corvane Online"));
        oPainter.setPen(oAccent.lighter(130));
        oPainter.setFont(smallCaps(12));
        oPainter.drawText(QRectF(0, 77, 176, 16), Qt::AlignCenter, sCaption);
    }
    if (bDisabled) {
        for (int nY = 0; nY < oImage.height(); ++nY) {
            auto* pLine = reinterpret_cast<QRgb*>(oImage.scanLine(nY));
            for (int nX = 0; nX < oImage.width(); ++nX) {
                const int nGrey = qGray(pLine[nX]) * 6 / 10;
                const int nAlpha = qAlpha(pLine[nX]) * 7 / 10;
                pLine[nX] = qRgba(std::min(nGrey, nAlpha), std::min(nGrey, nAlpha), std::min(nGrey, nAlpha), nAlpha);
            }
        }
    }
    return oImage;
}

QImage drawCheckbox(bool bChecked)
{
    QImage oImage = canvas(16, 16);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    oPainter.setPen(QPen(kText, 1.2));
    oPainter.setBrush(QColor(0x14, 0x17, 0x1d, 220));
    oPainter.drawRoundedRect(QRectF(1, 1, 14, 14), 2, 2);
    if (bChecked) {
        oPainter.setPen(QPen(QColor(0x8e, 0xd8, 0x38), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        oPainter.drawPolyline(QPolygonF({QPointF(4, 8.5), QPointF(7, 11.5), QPointF(12.5, 4.5)}));
    }
    return oImage;
}

QImage drawProgressPart(bool bBackground)
{
    QImage oImage = canvas(98, 40);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient oFill(0, 0, 0, 40);
    if (bBackground) {
        oFill.setColorAt(0, QColor(0x0c, 0x0e, 0x12));
        oFill.setColorAt(1, QColor(0x22, 0x26, 0x2e));
        oPainter.setPen(QPen(QColor(0x55, 0x5a, 0x50), 1));
    } else {
        oFill.setColorAt(0, QColor(0x7a, 0xc0, 0x32));
        oFill.setColorAt(1, QColor(0x2e, 0x60, 0x12));
        oPainter.setPen(Qt::NoPen);
    }
    oPainter.setBrush(oFill);
    oPainter.drawRoundedRect(QRectF(0.5, 0.5, 97, 39), 4, 4);
    return oImage;
}

enum class EScrollPart { Track, Handle, Up, Down };

QImage drawScrollPart(EScrollPart ePart, bool bPressed)
{
    const int nHeight = ePart == EScrollPart::Track || ePart == EScrollPart::Handle ? 24 : 12;
    QImage oImage = canvas(12, nHeight);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    const QColor oInk = bPressed ? kText.lighter(115) : kText.darker(140);
    switch (ePart) {
    case EScrollPart::Track:
        oPainter.fillRect(QRectF(4, 0, 4, nHeight), QColor(0x10, 0x12, 0x16, 180));
        break;
    case EScrollPart::Handle:
        oPainter.setPen(Qt::NoPen);
        oPainter.setBrush(oInk);
        oPainter.drawRoundedRect(QRectF(2, 0.5, 8, 23), 3, 3);
        break;
    case EScrollPart::Up:
    case EScrollPart::Down: {
        oPainter.setPen(Qt::NoPen);
        oPainter.setBrush(oInk);
        const bool bUp = ePart == EScrollPart::Up;
        oPainter.drawPolygon(QPolygonF({QPointF(2, bUp ? 9 : 3), QPointF(10, bUp ? 9 : 3), QPointF(6, bUp ? 3 : 9)}));
        break;
    }
    }
    return oImage;
}

} // namespace

void addWindowPictures(std::vector<std::pair<QString, QImage>>& lPictures)
{
    lPictures.emplace_back(QStringLiteral("BackgroundImage.jpg"), drawBackground());
    lPictures.emplace_back(QStringLiteral("QuarlixLogo.png"), drawMakerLogo());
    lPictures.emplace_back(QStringLiteral("icircle.png"), drawBadge(EBadge::About));
    lPictures.emplace_back(QStringLiteral("Twitter.png"), drawBadge(EBadge::Twitter));
    lPictures.emplace_back(QStringLiteral("Discord.png"), drawBadge(EBadge::Discord));
    lPictures.emplace_back(QStringLiteral("hint-background.png"), drawOpenPanel(16, 200));
    lPictures.emplace_back(QStringLiteral("clientpackage-background.png"), drawPanel(48, 16, 190));

    const struct { const char* pName; QColor oColour; } aColours[] = {
        {"Red", QColor(0xb0, 0x30, 0x28)},
        {"Blue", QColor(0x2c, 0x6c, 0xc0)},
        {"Orange", QColor(0xd0, 0x7a, 0x1c)},
        {"Green", QColor(0x4c, 0x9c, 0x2a)},
    };
    const struct { const char* pName; EButtonState eState; } aStates[] = {
        {"idle", EButtonState::Idle}, {"hover", EButtonState::Hover}, {"pressed", EButtonState::Pressed}};
    for (const auto& oColour : aColours) {
        for (const auto& oState : aStates) {
            lPictures.emplace_back(QStringLiteral("Button_%1_%2.png").arg(QLatin1String(oColour.pName), QLatin1String(oState.pName)),
                                   drawButton(oColour.oColour, oState.eState));
        }
    }
    for (const char* pLabel : {"Download", "Update", "Play"})
        lPictures.emplace_back(QStringLiteral("Icon_%1.png").arg(QLatin1String(pLabel)), drawIcon(QLatin1String(pLabel)));

    const struct { const char* pVariant; const char* pCaption; QColor oAccent; } aLogos[] = {
        {"QT", "", QColor(0x8a, 0x74, 0x48)},
        {"Classic", "Classic", QColor(0x6a, 0x7c, 0x9a)},
        {"Preview", "Preview", QColor(0x3c, 0x8c, 0xb0)},
        {"Beta", "Beta", QColor(0xb0, 0x6a, 0x2c)},
        {"Test", "Test", QColor(0x9a, 0x3c, 0x8a)},
    };
    for (const auto& oLogo : aLogos) {
        for (const bool bDisabled : {false, true}) {
            lPictures.emplace_back(QStringLiteral("CorvaneLogo_%1%2.png")
                                       .arg(QLatin1String(oLogo.pVariant), bDisabled ? QStringLiteral("_disabled") : QString()),
                                   drawPackageLogo(QLatin1String(oLogo.pCaption), oLogo.oAccent, bDisabled));
        }
    }
    lPictures.emplace_back(QStringLiteral("checkbox-unchecked.png"), drawCheckbox(false));
    lPictures.emplace_back(QStringLiteral("checkbox-checked.png"), drawCheckbox(true));
    lPictures.emplace_back(QStringLiteral("ProgressBar_BG.png"), drawProgressPart(true));
    lPictures.emplace_back(QStringLiteral("ProgressBar.png"), drawProgressPart(false));
    lPictures.emplace_back(QStringLiteral("scrollbar-texture-vertical.png"), drawScrollPart(EScrollPart::Track, false));
    lPictures.emplace_back(QStringLiteral("scrollbar-handle-vertical.png"), drawScrollPart(EScrollPart::Handle, false));
    lPictures.emplace_back(QStringLiteral("scrollbar-buttonup-up.png"), drawScrollPart(EScrollPart::Up, false));
    lPictures.emplace_back(QStringLiteral("scrollbar-buttonup-down.png"), drawScrollPart(EScrollPart::Up, true));
    lPictures.emplace_back(QStringLiteral("scrollbar-buttondown-up.png"), drawScrollPart(EScrollPart::Down, false));
    lPictures.emplace_back(QStringLiteral("scrollbar-buttondown-down.png"), drawScrollPart(EScrollPart::Down, true));
}

} // namespace drawimages
