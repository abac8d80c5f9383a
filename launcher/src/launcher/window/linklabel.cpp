#include "linklabel.h"

#include "uistyle.h"

#include "shared/gui/weblink.h"

#include <QLabel>
#include <QUrl>

namespace velmar::launcher {

QLabel* makeLinkLabel(const QString& sTarget, const QString& sImage, const QString& sToolTip, bool bExternal,
                      QWidget* pParent)
{
    auto* pLabel = new QLabel(pParent);
    pLabel->setTextFormat(Qt::RichText);
    pLabel->setText(pictureLinkHtml(sTarget, sImage));
    pLabel->setToolTip(sToolTip);
    pLabel->setOpenExternalLinks(false);
    if (bExternal)
        QObject::connect(pLabel, &QLabel::linkActivated, pLabel, [](const QString& sLink) { shared::openWebLink(QUrl(sLink)); });
    return pLabel;
}

} // namespace velmar::launcher
