#include "hintrow.h"

#include "hintpane.h"

#include <QDebug>

#include <algorithm>

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
        connect(m_aPanes[nPane], &THintPane::pictureSettled, this, &THintRow::onPictureSettled);
    }
    setFixedSize(2 * kPaneStep + THintPane::kFrameWidth, THintPane::kFrameHeight);
}

bool THintRow::showHints(const std::vector<shared::THint>& lHints)
{
    std::array<const shared::THint*, 3> aChosen{};
    for (const shared::THint& oHint : lHints) {
        for (size_t nPane = 0; nPane < m_aPanes.size(); ++nPane) {
            if (oHint.m_sCategory != m_aPanes[nPane]->category())
                continue;
            if (aChosen[nPane])
                qInfo() << "Skipping a second hint of category" << oHint.m_sCategory << ":" << oHint.m_sTitle;
            else
                aChosen[nPane] = &oHint;
        }
    }
    const auto isChosen = [](const shared::THint* pHint) { return pHint != nullptr; };
    // Counted before any pane starts: a pane without a picture settles at once.
    m_nUnsettledPictures = int(std::count_if(aChosen.begin(), aChosen.end(), isChosen));
    for (size_t nPane = 0; nPane < m_aPanes.size(); ++nPane) {
        if (aChosen[nPane])
            m_aPanes[nPane]->showHint(*aChosen[nPane]);
    }
    return std::all_of(aChosen.begin(), aChosen.end(), isChosen);
}

void THintRow::onPictureSettled()
{
    if (m_nUnsettledPictures > 0 && --m_nUnsettledPictures == 0)
        emit picturesSettled();
}

} // namespace velmar::launcher
