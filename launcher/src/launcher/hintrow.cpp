#include "hintrow.h"

#include "hintpane.h"

#include <QDebug>

namespace velmar::launcher {

namespace {

// Each pane starts where the slant of the one before begins.
constexpr int kPaneStep = THintPane::kFrameWidth - THintPane::kFrameHeight / 2;

} // namespace

THintRow::THintRow(std::shared_ptr<shared::TDownloadPool> pDownloadPool, QWidget* pParent) : QWidget(pParent)
{
    const char* aCategories[] = {"cat1", "cat2", "cat3"};
    for (size_t nPane = 0; nPane < m_aPanes.size(); ++nPane) {
        m_aPanes[nPane] = new THintPane(QLatin1String(aCategories[nPane]), pDownloadPool, this);
        m_aPanes[nPane]->move(int(nPane) * kPaneStep, 0);
    }
    setFixedSize(2 * kPaneStep + THintPane::kFrameWidth, THintPane::kFrameHeight);
}

bool THintRow::showHints(const std::vector<shared::THint>& lHints)
{
    std::array<bool, 3> aFilled{};
    for (const shared::THint& oHint : lHints) {
        for (size_t nPane = 0; nPane < m_aPanes.size(); ++nPane) {
            if (oHint.m_sCategory != m_aPanes[nPane]->category())
                continue;
            if (aFilled[nPane]) {
                qInfo() << "Skipping a second hint of category" << oHint.m_sCategory << ":" << oHint.m_sTitle;
                break;
            }
            m_aPanes[nPane]->showHint(oHint);
            aFilled[nPane] = true;
        }
    }
    return aFilled[0] && aFilled[1] && aFilled[2];
}

} // namespace velmar::launcher
