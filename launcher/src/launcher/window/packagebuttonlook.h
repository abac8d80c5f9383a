#pragma once

#include "launcher/documents/localpackagestatus.h"

#include <QString>
#include <QStringList>

namespace velmar::launcher {

class TPackage;

// The entries of an installed package's right-click menu.
inline const QString kVerifyAction = QStringLiteral("Verify");
inline const QString kUninstallAction = QStringLiteral("Uninstall");

// The faces of a package's action button: what a press on it does.
enum class EPackageButtonLook { Unknown, Download, Update, Play };

// Installed and current plays; any status past it too.
EPackageButtonLook packageButtonLook(ELocalPackageStatus eStatus);
// "Red", "Blue", "Orange" or "Green": which button pictures it wears.
QString buttonColour(EPackageButtonLook eLook);
// Tooltip and icon name; empty for a status not yet known.
QString buttonLabel(EPackageButtonLook eLook);
// The right-click menu: "Verify" and "Uninstall" for an installed package.
QStringList buttonMenuActions(EPackageButtonLook eLook);
QString packageButtonStyleSheet(EPackageButtonLook eLook);

// "Classic", "Preview", "Beta", "Test" or "QT", from the package's platform build.
QString logoVariant(const TPackage& oPackage);
// The compiled-in logo for the variant, the disabled one unless installed and current.
QString logoPath(const QString& sVariant, ELocalPackageStatus eStatus);

} // namespace velmar::launcher
