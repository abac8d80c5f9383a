#include "packagebuttonlook.h"

#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "uistyle.h"

namespace velmar::launcher {

TPackageButtonLook packageButtonLook(int nStatus)
{
    switch (nStatus) {
    case Unknown:
        return {QStringLiteral("Red"), QString(), {}};
    case NotInstalled:
        return {QStringLiteral("Blue"), QStringLiteral("Download"), {}};
    case PartiallyInstalled:
    case UpdateAvailable:
        return {QStringLiteral("Orange"), QStringLiteral("Update"), {}};
    default:
        return {QStringLiteral("Green"), QStringLiteral("Play"), {QStringLiteral("Verify")}};
    }
}

QString packageButtonStyleSheet(const TPackageButtonLook& oLook)
{
    const QString sBorder = QStringLiteral("border-image: url(:/images/launcher/Button_%1_%2.png) 4 4 4 4 repeat scale; "
                                           "border: 4px transparent;");
    const QString sIdle = sBorder.arg(oLook.m_sColour, QStringLiteral("idle"));
    const QString sHover = sBorder.arg(oLook.m_sColour, QStringLiteral("hover"));
    const QString sPressed = sBorder.arg(oLook.m_sColour, QStringLiteral("pressed"));
    return QStringLiteral("QPushButton { %1 image: url(:/images/launcher/Icon_%2.png); }\n"
                          "QPushButton:hover { %3 }\n"
                          "QPushButton:pressed { %4 padding: 1px -1px -1px 1px; }\n"
                          "QToolTip { border: 1px solid black; background: #c0c0c0; padding: 1px; %5 }")
        .arg(sIdle, oLook.m_sLabel, sHover, sPressed, textStyle(11, QStringLiteral("#3F3F3F")));
}

QString logoVariant(const TPackage& oPackage)
{
    const auto pConfiguration = oPackage.platformConfiguration();
    if (!pConfiguration)
        return QStringLiteral("QT");
    if (pConfiguration->generation() == FirstGeneration)
        return QStringLiteral("Classic");
    switch (pConfiguration->variant()) {
    case PreviewVariant:
        return QStringLiteral("Preview");
    case BetaVariant:
        return QStringLiteral("Beta");
    case TestVariant:
        return QStringLiteral("Test");
    default:
        return QStringLiteral("QT");
    }
}

QString logoPath(const QString& sVariant, int nStatus)
{
    return QStringLiteral(":/images/launcher/CorvaneLogo_%1%2.png")
        .arg(sVariant, nStatus == UpToDate ? QString() : QStringLiteral("_disabled"));
}

} // namespace velmar::launcher
