#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace velmar::launcher {

// A label showing a picture that links to sTarget. With bExternal a click opens
// the target in the system browser when it is a web address; otherwise the
// caller handles the label's linkActivated.
QLabel* makeLinkLabel(const QString& sTarget, const QString& sImage, const QString& sToolTip, bool bExternal,
                      QWidget* pParent = nullptr);

} // namespace velmar::launcher
