#include "packagebuttonlook.h"

#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"

namespace velmar::launcher {

EPackageButtonLook packageButtonLook(ELocalPackageStatus eStatus)
{
    switch (eStatus) {
    case Unknown:
        return EPackageButtonLook::Unknown;
    case NotInstalled:
        return EPackageButtonLook::Download;
    case PartiallyInstalled:
    case UpdateAvailable:
        return EPackageButtonLook::Update;
    case UpToDate:
        break;
    }
    return EPackageButtonLook::Play;
}

QString buttonColour(EPackageButtonLook eLook)
{
    switch (eLook) {
    case EPackageButtonLook::Unknown: return QStringLiteral("Red");
    case EPackageButtonLook::Download: return QStringLiteral("Blue");
    case EPackageButtonLook::Update: return QStringLiteral("Orange");
    case EPackageButtonLook::Play: break;
    }
    return QStringLiteral("Green");
}

QString buttonLabel(EPackageButtonLook eLook)
{
    switch (eLook) {
    case EPackageButtonLook::Unknown: return QString();
    case EPackageButtonLook::Download: return QStringLiteral("Download");
    case EPackageButtonLook::Update: return QStringLiteral("Update");
    case EPackageButtonLook::Play: break;
    }
    return QStringLiteral("Play");
}

QStringList buttonMenuActions(EPackageButtonLook eLook)
{
    return eLook == EPackageButtonLook::Play ? QStringList{kVerifyAction, kUninstallAction} : QStringList();
}

QString packageButtonStyleSheet(EPackageButtonLook eLook)
{
    const QString sBorder = QStringLiteral("border-image: url(:/images/launcher/Button_%1_%2.png) 4 4 4 4 repeat scale; "
                                           "border: 4px transparent;");
    const QString sColour = buttonColour(eLook);
    const QString sIdle = sBorder.arg(sColour, QStringLiteral("idle"));
    const QString sHover = sBorder.arg(sColour, QStringLiteral("hover"));
    const QString sPressed = sBorder.arg(sColour, QStringLiteral("pressed"));
    return QStringLiteral("QPushButton { %1 image: url(:/images/launcher/Icon_%2.png); }\n"
                          "QPushButton:hover { %3 }\n"
                          "QPushButton:pressed { %4 padding: 1px -1px -1px 1px; }")
        .arg(sIdle, buttonLabel(eLook), sHover, sPressed);
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

QString logoPath(const QString& sVariant, ELocalPackageStatus eStatus)
{
    return QStringLiteral(":/images/launcher/CorvaneLogo_%1%2.png")
        .arg(sVariant, eStatus == UpToDate ? QString() : QStringLiteral("_disabled"));
}

} // namespace velmar::launcher
