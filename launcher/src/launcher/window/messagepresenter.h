#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace velmar::launcher {

// A box with named buttons: the question, the reason behind it and the answers
// the player can give.
struct TMessage
{
    QMessageBox::Icon m_eIcon = QMessageBox::Information;
    QString m_sTitle;
    QString m_sText;
    // Below the text (QMessageBox's informative text): why it came to this,
    // in the words of whatever failed. Empty: none.
    QString m_sDetail;
    // The answers, the first the default (Enter); the last one also answers
    // Escape and a closed box, so it should be the one that changes nothing,
    // such as "OK" or "No". Empty: one "OK".
    QStringList m_lButtons;

    // The buttons offered: m_lButtons, or "OK".
    QStringList buttons() const;
};

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
    // Returns once the box is closed, with the name of the button that closed
    // it. A presenter that knows only present() shows the text there and
    // answers with the default button.
    virtual QString choose(QWidget* pParent, const TMessage& oMessage);
    // A box that stays open beside the window (the window's own, not modal);
    // its buttons act through its own signals. Shown as it is by default.
    virtual void showOpen(QMessageBox& oBox);

    // The presenter in use: boxes on screen, unless a test build was told
    // through CORVANE_MESSAGES=log to only log them and answer at once.
    static TMessagePresenter& instance();
    static void setInstance(std::unique_ptr<TMessagePresenter> pPresenter);
};

// The box as the screen shows it, not yet shown: the named buttons of the
// message (the first the default, the last the one Escape gives) unless
// eButtons names standard ones. The theme comes from the application's style
// sheet. Its title bar names the launcher: the message's title is what its
// text says first, and goes to the log only.
std::unique_ptr<QMessageBox> newMessageBox(QWidget* pParent, const TMessage& oMessage,
                                           QMessageBox::StandardButtons eButtons = QMessageBox::NoButton);

// Logs the box and shows it through the presenter in use.
QMessageBox::StandardButton presentMessage(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                           const QString& sText,
                                           QMessageBox::StandardButtons eButtons = QMessageBox::Ok);
// Logs the box, its detail and the answer, and shows it through the presenter
// in use; returns the name of the button chosen.
QString presentMessage(QWidget* pParent, const TMessage& oMessage);
// Logs a box that stays open under its title, as presentMessage() does, gives
// it the title bar of every box and hands it to the presenter in use.
void showOpenMessage(QMessageBox& oBox, const QString& sTitle);

} // namespace velmar::launcher
