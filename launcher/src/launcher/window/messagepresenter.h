#pragma once

#include <QMessageBox>
#include <QString>

#include <memory>

class QWidget;

namespace velmar::launcher {

// Every modal box of the launcher goes through one presenter, so that a run
// without a person in front of it (tests, the screenshot script) can answer
// the boxes instead of blocking in them. Each box is logged as well: a box the
// player clicked away still leaves its reason in the log.
class TMessagePresenter
{
public:
    virtual ~TMessagePresenter() = default;

    // Returns once the box is closed, with the button that closed it.
    virtual QMessageBox::StandardButton present(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                                const QString& sText, QMessageBox::StandardButtons eButtons) = 0;

    // The presenter in use: boxes on screen, unless a test build was told
    // through CORVANE_MESSAGES=log to only log them and answer at once.
    static TMessagePresenter& instance();
    static void setInstance(std::unique_ptr<TMessagePresenter> pPresenter);
};

// Logs the box and shows it through the presenter in use.
QMessageBox::StandardButton presentMessage(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                           const QString& sText,
                                           QMessageBox::StandardButtons eButtons = QMessageBox::Ok);

} // namespace velmar::launcher
