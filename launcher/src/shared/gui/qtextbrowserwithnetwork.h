#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

#include <memory>

namespace shared {

class TBoundedDownloads;
class TDownloadPool;

// A text browser whose documents may name web pictures: they are fetched through
// the download pool without blocking, shown as a transparent placeholder until
// they arrive, and the document is laid out again once they do. Links go to the
// system browser when they are web addresses, nowhere otherwise.
class QTextBrowserWithNetwork : public QTextBrowser
{
    Q_OBJECT

public:
    // Fetches give up after these: a picture of a hint is small and quick.
    static constexpr qint64 kMaximumResourceBytes = 4 << 20;
    static constexpr int kResourceTimeoutMilliseconds = 15000;

    explicit QTextBrowserWithNetwork(std::shared_ptr<TDownloadPool> pDownloadPool, QWidget* pParent = nullptr);
    ~QTextBrowserWithNetwork() override;

    QVariant loadResource(int nType, const QUrl& oName) override;
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int nWidth) const override;

    // Resources held for this browser's documents, by URL.
    const QMap<QUrl, QVariant>& resourceCache() const { return m_hResourceCache; }

private slots:
    void onDownloadFinished(QUrl Url, QByteArray Data);
    void onDownloadFailed(QUrl Url, QString ErrorString);

private:
    std::shared_ptr<TDownloadPool> m_pDownloadPool;
    TBoundedDownloads* m_pDownloads;
    QMap<QUrl, QVariant> m_hResourceCache;
    // The resource type each fetched URL was asked for.
    QHash<QUrl, int> m_hRequestedTypes;
};

} // namespace shared
