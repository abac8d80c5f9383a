#pragma once

#include "shared/hint.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

namespace shared {
class TDownloadPool;
}

namespace velmar::launcher {

class THintPane;

// The row of three hint panes, "cat1", "cat2" and "cat3", laid so that their
// slanted edges interlock.
class THintRow : public QWidget
{
    Q_OBJECT

public:
    explicit THintRow(std::shared_ptr<shared::TDownloadPool> pDownloadPool, QWidget* pParent = nullptr);

    // Shows the first hint of each category in its pane; hints of other
    // categories, and later hints of a category already shown, are skipped.
    // Returns whether every pane got a hint.
    bool showHints(const std::vector<shared::THint>& lHints);
    THintPane* pane(int nIndex) const { return m_aPanes.at(size_t(nIndex)); }
    // Some pane given a hint by the last showHints still waits for its picture.
    bool picturesPending() const { return m_nUnsettledPictures > 0; }

signals:
    // Every pane given a hint by the last showHints has its picture shown or
    // given up.
    void picturesSettled();

private:
    void onPictureSettled();

    std::array<THintPane*, 3> m_aPanes;
    int m_nUnsettledPictures = 0;
};

} // namespace velmar::launcher
