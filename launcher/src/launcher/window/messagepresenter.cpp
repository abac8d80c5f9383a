#include "messagepresenter.h"

#include "windowsnapshots.h"

#include <QAbstractButton>
#include <QDebug>
#include <QPushButton>
#include <QTimer>

namespace velmar::launcher {

namespace {

// The button's name as the box shows it, without its shortcut mark.
QString buttonName(const QAbstractButton& oButton)
{
    return QString(oButton.text()).remove(QLatin1Char('&'));
}

QString oneLine(QString sText)
{
    return sText.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// The title bar of every box, as of the window.
const QString kBoxTitle = QStringLiteral("Corvane Online");

void logBox(const QString& sTitle, const QString& sText, const QString& sDetail)
{
    qInfo().noquote() << "message box:" << sTitle << "|" << oneLine(sText);
    if (!sDetail.isEmpty())
        qInfo().noquote() << "message box detail:" << oneLine(sDetail);
}

class TScreenPresenter : public TMessagePresenter
{
public:
    QMessageBox::StandardButton present(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                        const QString& sText, QMessageBox::StandardButtons eButtons) override
    {
        TMessage oMessage;
        oMessage.m_eIcon = eIcon;
        oMessage.m_sTitle = sTitle;
        oMessage.m_sText = sText;
        return static_cast<QMessageBox::StandardButton>(newMessageBox(pParent, oMessage, eButtons)->exec());
    }

    QString choose(QWidget* pParent, const TMessage& oMessage) override
    {
        const std::unique_ptr<QMessageBox> pBox = newMessageBox(pParent, oMessage);
        pBox->exec();
        return pBox->clickedButton() ? buttonName(*pBox->clickedButton()) : oMessage.buttons().constLast();
    }
};

#ifdef CORVANE_CRASH_POINTS
// Answers every box at once, as a player pressing Enter would, except a box
// with named buttons: that one gets the answer CORVANE_MESSAGE_ANSWER names
// when it offers it, else its last button, the one that changes nothing, so
// that a run nobody watches does only what it was told to.
class TLogOnlyPresenter : public TMessagePresenter
{
public:
    QMessageBox::StandardButton present(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                        QMessageBox::StandardButtons eButtons) override
    {
        for (int nBit = 0; nBit < 32; ++nBit) {
            const auto eButton = static_cast<QMessageBox::StandardButton>(1u << nBit);
            if (eButtons.testFlag(eButton))
                return eButton;
        }
        return QMessageBox::NoButton;
    }

    QString choose(QWidget* pParent, const TMessage& oMessage) override
    {
        if (TWindowSnapshots::enabled()) {
            // The screenshot script's picture of a box: the real one, shown
            // only for as long as it takes to draw it.
            const std::unique_ptr<QMessageBox> pBox = newMessageBox(pParent, oMessage);
            pBox->show();
            TWindowSnapshots::take(pBox.get(), QStringLiteral("themed-box"));
        }
        const QStringList lButtons = oMessage.buttons();
        return lButtons.contains(toldAnswer()) ? toldAnswer() : lButtons.constLast();
    }

    void showOpen(QMessageBox& oBox) override
    {
        oBox.show();
        for (QAbstractButton* pButton : oBox.buttons()) {
            // Later: the box's owner may still be setting it up.
            if (buttonName(*pButton) == toldAnswer())
                QTimer::singleShot(0, pButton, &QAbstractButton::click);
        }
    }

private:
    static QString toldAnswer() { return qEnvironmentVariable("CORVANE_MESSAGE_ANSWER"); }
};
#endif

std::unique_ptr<TMessagePresenter> makeDefaultPresenter()
{
#ifdef CORVANE_CRASH_POINTS
    if (qgetenv("CORVANE_MESSAGES") == "log")
        return std::make_unique<TLogOnlyPresenter>();
#endif
    return std::make_unique<TScreenPresenter>();
}

std::unique_ptr<TMessagePresenter>& presenterSlot()
{
    static std::unique_ptr<TMessagePresenter> s_pPresenter = makeDefaultPresenter();
    return s_pPresenter;
}

} // namespace

QStringList TMessage::buttons() const
{
    return m_lButtons.isEmpty() ? QStringList{QStringLiteral("OK")} : m_lButtons;
}

QString TMessagePresenter::choose(QWidget* pParent, const TMessage& oMessage)
{
    present(pParent, oMessage.m_eIcon, oMessage.m_sTitle, oMessage.m_sText, QMessageBox::Ok);
    return oMessage.buttons().constFirst();
}

void TMessagePresenter::showOpen(QMessageBox& oBox)
{
    oBox.show();
}

TMessagePresenter& TMessagePresenter::instance()
{
    return *presenterSlot();
}

void TMessagePresenter::setInstance(std::unique_ptr<TMessagePresenter> pPresenter)
{
    presenterSlot() = pPresenter ? std::move(pPresenter) : makeDefaultPresenter();
}

std::unique_ptr<QMessageBox> newMessageBox(QWidget* pParent, const TMessage& oMessage,
                                           QMessageBox::StandardButtons eButtons)
{
    auto pBox = std::make_unique<QMessageBox>(oMessage.m_eIcon, kBoxTitle, oMessage.m_sText, eButtons, pParent);
    pBox->setInformativeText(oMessage.m_sDetail);
    if (eButtons != QMessageBox::NoButton)
        return pBox;
    const QStringList lButtons = oMessage.buttons();
    QPushButton* pLast = nullptr;
    for (int nButton = 0; nButton < lButtons.size(); ++nButton) {
        const bool bLast = nButton == lButtons.size() - 1;
        const QMessageBox::ButtonRole eRole = nButton == 0 ? QMessageBox::AcceptRole
                                              : bLast      ? QMessageBox::RejectRole
                                                           : QMessageBox::ActionRole;
        pLast = pBox->addButton(lButtons[nButton], eRole);
        if (nButton == 0)
            pBox->setDefaultButton(pLast);
    }
    pBox->setEscapeButton(pLast);
    return pBox;
}

QMessageBox::StandardButton presentMessage(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                           const QString& sText, QMessageBox::StandardButtons eButtons)
{
    logBox(sTitle, sText, QString());
    return TMessagePresenter::instance().present(pParent, eIcon, sTitle, sText, eButtons);
}

QString presentMessage(QWidget* pParent, const TMessage& oMessage)
{
    logBox(oMessage.m_sTitle, oMessage.m_sText, oMessage.m_sDetail);
    const QString sAnswer = TMessagePresenter::instance().choose(pParent, oMessage);
    qInfo().noquote() << "message box answer:" << sAnswer;
    return sAnswer;
}

void showOpenMessage(QMessageBox& oBox, const QString& sTitle)
{
    logBox(sTitle, oBox.text(), oBox.informativeText());
    oBox.setWindowTitle(kBoxTitle);
    TMessagePresenter::instance().showOpen(oBox);
}

} // namespace velmar::launcher
