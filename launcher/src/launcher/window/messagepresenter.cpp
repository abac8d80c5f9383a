#include "messagepresenter.h"

#include <QDebug>

namespace velmar::launcher {

namespace {

class TScreenPresenter : public TMessagePresenter
{
public:
    QMessageBox::StandardButton present(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                        const QString& sText, QMessageBox::StandardButtons eButtons) override
    {
        QMessageBox oBox(eIcon, sTitle, sText, eButtons, pParent);
        return static_cast<QMessageBox::StandardButton>(oBox.exec());
    }
};

// Answers every box with its first button, as a player pressing Enter would.
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
};

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

TMessagePresenter& TMessagePresenter::instance()
{
    return *presenterSlot();
}

void TMessagePresenter::setInstance(std::unique_ptr<TMessagePresenter> pPresenter)
{
    presenterSlot() = pPresenter ? std::move(pPresenter) : makeDefaultPresenter();
}

QMessageBox::StandardButton presentMessage(QWidget* pParent, QMessageBox::Icon eIcon, const QString& sTitle,
                                           const QString& sText, QMessageBox::StandardButtons eButtons)
{
    qInfo().noquote() << "message box:" << sTitle << "|" << QString(sText).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return TMessagePresenter::instance().present(pParent, eIcon, sTitle, sText, eButtons);
}

} // namespace velmar::launcher
