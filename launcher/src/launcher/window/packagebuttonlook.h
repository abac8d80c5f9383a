#pragma once

#include "launcher/documents/localpackagestatus.h"

#include <QString>
#include <QStringList>

namespace velmar::launcher {

class TPackage;

// What the action button of a package shows for a local status.
struct TPackageButtonLook
{
    QString m_sColour;
    // Tooltip and icon name; empty for a status not yet known.
    QString m_sLabel;
    QStringList m_lMenuActions;
};

TPackageButtonLook packageButtonLook(int nStatus);
QString packageButtonStyleSheet(const TPackageButtonLook& oLook);

// "Classic", "Preview", "Beta", "Test" or "QT", from the package's platform build.
QString logoVariant(const TPackage& oPackage);
// The compiled-in logo for the variant, the disabled one unless installed and current.
QString logoPath(const QString& sVariant, int nStatus);

} // namespace velmar::launcher
