#pragma once

#include "shared/hint.h"

#include <QByteArray>
#include <QPixmap>
#include <QRegion>
#include <QUrl>
#include <QWidget>

#include <memory>

class ClickableLabel;

namespace shared {
class QTextBrowserWithNetwork;
class TBoundedDownloads;
class TDownloadPool;
}

namespace velmar::launcher {

// The slanted outline of a hint pane of the category, for a pane of the size.
QRegion hintPaneRegion(const QString& sCategory, const QSize& oSize);

// One category's pane of the hint row, in the frame that lights up under the
// mouse once a hint is shown. Until then it holds an empty placeholder browser.
// A hint's picture is fetched without blocking; the caption shows at once, and
// a picture that does not come leaves the caption alone.
class THintPane : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 276;
    static constexpr int kHeight = 80;
    static constexpr int kFrameWidth = 286;
    static constexpr int kFrameHeight = 84;
    static constexpr qint64 kMaximumPictureBytes = 4 << 20;
    static constexpr int kPictureTimeoutMilliseconds = 15000;

    THintPane(const QString& sCategory, std::shared_ptr<shared::TDownloadPool> pDownloadPool, QWidget* pParent = nullptr);
    ~THintPane() override;

    const QString& category() const { return m_sCategory; }
    // Replaces whatever the pane showed.
    void showHint(const shared::THint& oHint);

    // Null until a hint is shown; the picture label also while its picture is fetched.
    ClickableLabel* pictureLabel() const { return m_pPicture; }
    ClickableLabel* captionLabel() const { return m_pCaption; }
    shared::QTextBrowserWithNetwork* placeholder() const { return m_pPlaceholder; }

signals:
    // The picture of the current hint is shown (true) or will not be (false).
    void pictureSettled(bool Shown);

private slots:
    void onPictureFinished(QUrl Url, QByteArray Data);
    void onPictureFailed(QUrl Url, QString Reason);

private:
    void openHintPage() const;

    QString m_sCategory;
    std::shared_ptr<shared::TDownloadPool> m_pDownloadPool;
    QWidget* m_pContainer;
    shared::QTextBrowserWithNetwork* m_pPlaceholder;
    shared::TBoundedDownloads* m_pDownloads;
    ClickableLabel* m_pPicture = nullptr;
    ClickableLabel* m_pCaption = nullptr;
    QUrl m_oPictureUrl;
    QUrl m_oPageUrl;
};

} // namespace velmar::launcher
