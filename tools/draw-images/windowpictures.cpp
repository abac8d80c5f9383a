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

enum class EBadge { About, News, Chat };

// Round badges of the window's bottom bar; the two social ones are plain
// symbols of our own: a folded news sheet for the news feed, a speech bubble
// with three dots for the chat.
QImage drawBadge(EBadge eBadge)
{
    QImage oImage = canvas(22, 22);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    const QColor oFill(0x20, 0x24, 0x2c, 200);
    oPainter.setPen(QPen(kText, 1.5));
    oPainter.setBrush(oFill);
    oPainter.drawEllipse(QRectF(1, 1, 20, 20));
    oPainter.setPen(Qt::NoPen);
    oPainter.setBrush(kText);
    if (eBadge == EBadge::About) {
        oPainter.drawEllipse(QPointF(11, 6.5), 1.6, 1.6);
        oPainter.drawRoundedRect(QRectF(9.6, 9, 2.8, 8), 1, 1);
    } else if (eBadge == EBadge::News) {
        // A sheet with a picture block and lines of text, the right edge folded.
        oPainter.drawRoundedRect(QRectF(5, 5.5, 12, 11), 1.2, 1.2);
        oPainter.setBrush(oFill);
        oPainter.drawRect(QRectF(6.6, 7.2, 4, 3.4));
        for (const double fY : {7.4, 9.6, 11.8, 14.0}) {
            const double fLeft = fY < 11 ? 11.8 : 6.6;
            oPainter.drawRect(QRectF(fLeft, fY - 0.5, 15.4 - fLeft, 1.1));
        }
    } else {
        QPainterPath oBubble;
        oBubble.addRoundedRect(QRectF(4.5, 5.5, 13, 9), 3.5, 3.5);
        oBubble.moveTo(7.5, 13.5);
        oBubble.lineTo(6.5, 17.5);
        oBubble.lineTo(11, 14);
        oBubble.closeSubpath();
        oPainter.drawPath(oBubble.simplified());
        oPainter.setBrush(oFill);
        for (const double fX : {8.0, 11.0, 14.0})
            oPainter.drawEllipse(QPointF(fX, 10), 1.15, 1.15);
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

// How a variant of the game's logo is told apart at the size a card shows it:
// a band of its own colour carrying its name, and a badge of its own shape
// and letter at the emblem's shoulder. The main variant has neither.
enum class EBadgeShape { None, Circle, Diamond, Square, Hexagon };

struct TLogoVariant
{
    const char* m_pFile;
    const char* m_pCaption;
    QColor m_oAccent;
    EBadgeShape m_eShape;
};

QPainterPath badgeShape(EBadgeShape eShape, const QPointF& oCentre, double fRadius)
{
    QPainterPath oPath;
    switch (eShape) {
    case EBadgeShape::None:
        break;
    case EBadgeShape::Circle:
        oPath.addEllipse(oCentre, fRadius, fRadius);
        break;
    case EBadgeShape::Diamond:
        oPath.addPolygon(QPolygonF({oCentre + QPointF(0, -fRadius * 1.2), oCentre + QPointF(fRadius * 1.2, 0),
                                    oCentre + QPointF(0, fRadius * 1.2), oCentre + QPointF(-fRadius * 1.2, 0)}));
        oPath.closeSubpath();
        break;
    case EBadgeShape::Square:
        oPath.addRoundedRect(QRectF(oCentre - QPointF(fRadius * 0.9, fRadius * 0.9), QSizeF(fRadius * 1.8, fRadius * 1.8)), 2, 2);
        break;
    case EBadgeShape::Hexagon: {
        QPolygonF oHexagon;
        for (int nCorner = 0; nCorner < 6; ++nCorner) {
            const double fAngle = M_PI / 3 * nCorner;
            oHexagon << oCentre + QPointF(fRadius * 1.05 * std::cos(fAngle), fRadius * 1.05 * std::sin(fAngle));
        }
        oPath.addPolygon(oHexagon);
        oPath.closeSubpath();
        break;
    }
    }
    return oPath;
}

QImage drawPackageLogo(const TLogoVariant& oVariant, bool bDisabled)
{
    const QColor& oAccent = oVariant.m_oAccent;
    const QString sCaption = QLatin1String(oVariant.m_pCaption);
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
        oPainter.drawText(QRectF(0, 57, 176, 20), Qt::AlignCenter, QStringLiteral("Corvane Online"));
        if (!sCaption.isEmpty()) {
            const QRectF oBand(30, 77, 116, 17);
            oPainter.setPen(QPen(oAccent.lighter(140), 1));
            oPainter.setBrush(oAccent);
            oPainter.drawRoundedRect(oBand, 4, 4);
            oPainter.setPen(QColor(0xff, 0xff, 0xf4));
            oPainter.setFont(smallCaps(13));
            oPainter.drawText(oBand, Qt::AlignCenter, sCaption);

            const QPointF oBadge(128, 14);
            oPainter.setPen(QPen(QColor(0xff, 0xff, 0xf4), 1.5));
            oPainter.setBrush(oAccent);
            oPainter.drawPath(badgeShape(oVariant.m_eShape, oBadge, 11));
            oPainter.setPen(QColor(0xff, 0xff, 0xf4));
            QFont oLetter = smallCaps(14);
            oLetter.setCapitalization(QFont::MixedCase);
            oPainter.setFont(oLetter);
            oPainter.drawText(QRectF(oBadge - QPointF(11, 11), QSizeF(22, 22)), Qt::AlignCenter, sCaption.left(1));
        }
    }
    // Dimmed and mostly grey, yet with half of its colour left: a card that
    // is not installed must still tell its variant.
    if (bDisabled) {
        for (int nY = 0; nY < oImage.height(); ++nY) {
            auto* pLine = reinterpret_cast<QRgb*>(oImage.scanLine(nY));
            for (int nX = 0; nX < oImage.width(); ++nX) {
                const int nGrey = qGray(pLine[nX]);
                const int nAlpha = qAlpha(pLine[nX]) * 7 / 10;
                const auto dimmed = [&](int nChannel) { return std::min((nGrey + nChannel) * 7 / 20, nAlpha); };
                pLine[nX] = qRgba(dimmed(qRed(pLine[nX])), dimmed(qGreen(pLine[nX])), dimmed(qBlue(pLine[nX])), nAlpha);
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
    lPictures.emplace_back(QStringLiteral("Twitter.png"), drawBadge(EBadge::News));
    lPictures.emplace_back(QStringLiteral("Discord.png"), drawBadge(EBadge::Chat));
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

    const TLogoVariant aLogos[] = {
        {"QT", "", QColor(0x8a, 0x74, 0x48), EBadgeShape::None},
        {"Classic", "Classic", QColor(0x3c, 0x8a, 0x2c), EBadgeShape::Circle},
        {"Preview", "Preview", QColor(0x24, 0x6c, 0xc8), EBadgeShape::Diamond},
        {"Beta", "Beta", QColor(0xc0, 0x86, 0x10), EBadgeShape::Square},
        {"Test", "Test", QColor(0x9c, 0x2c, 0x9c), EBadgeShape::Hexagon},
    };
    for (const auto& oLogo : aLogos) {
        for (const bool bDisabled : {false, true}) {
            lPictures.emplace_back(QStringLiteral("CorvaneLogo_%1%2.png")
                                       .arg(QLatin1String(oLogo.m_pFile), bDisabled ? QStringLiteral("_disabled") : QString()),
                                   drawPackageLogo(oLogo, bDisabled));
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
