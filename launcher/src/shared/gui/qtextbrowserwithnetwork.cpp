#include "qtextbrowserwithnetwork.h"

#include "shared/boundeddownloads.h"
#include "picturedecoding.h"
#include "weblink.h"

#include <QDebug>
#include <QImage>
#include <QTextDocument>

namespace shared {

namespace {

bool isNetworkScheme(const QString& sScheme)
{
    return sScheme == QLatin1String("http") || sScheme == QLatin1String("https") || sScheme == QLatin1String("ftp");
}

// Compiled-in resources only: a downloaded document must not pull local files
// into the window.
bool isOwnResource(const QUrl& oUrl)
{
    return oUrl.scheme() == QLatin1String("qrc") || (oUrl.scheme().isEmpty() && oUrl.path().startsWith(QLatin1Char(':')));
}

} // namespace

QTextBrowserWithNetwork::QTextBrowserWithNetwork(std::shared_ptr<TDownloadPool> pDownloadPool, QWidget* pParent)
    : QTextBrowser(pParent)
    , m_pDownloadPool(std::move(pDownloadPool))
    , m_pDownloads(new TBoundedDownloads(m_pDownloadPool, kMaximumResourceBytes, kResourceTimeoutMilliseconds, this))
{
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& oUrl) { openWebLink(oUrl); });
    connect(m_pDownloads, &TBoundedDownloads::finished, this, &QTextBrowserWithNetwork::onDownloadFinished);
    connect(m_pDownloads, &TBoundedDownloads::failed, this, &QTextBrowserWithNetwork::onDownloadFailed);
}

QTextBrowserWithNetwork::~QTextBrowserWithNetwork() = default;

QVariant QTextBrowserWithNetwork::loadResource(int nType, const QUrl& oName)
{
    const auto itCached = m_hResourceCache.constFind(oName);
    if (itCached != m_hResourceCache.constEnd())
        return *itCached;

    QVariant oValue;
    if (isNetworkScheme(oName.scheme())) {
        if (nType == QTextDocument::ImageResource) {
            QImage oPlaceholder(32, 32, QImage::Format_ARGB32_Premultiplied);
            oPlaceholder.fill(Qt::transparent);
            oValue = oPlaceholder;
        } else {
            oValue = nType;
        }
        m_hResourceCache.insert(oName, oValue);
        m_hRequestedTypes.insert(oName, nType);
        m_pDownloads->fetch(oName);
        return oValue;
    }
    if (isOwnResource(oName))
        oValue = QTextBrowser::loadResource(nType, oName);
    m_hResourceCache.insert(oName, oValue);
    return oValue;
}

QSize QTextBrowserWithNetwork::sizeHint() const
{
    return document()->size().toSize();
}

int QTextBrowserWithNetwork::heightForWidth(int) const
{
    return int(document()->size().height());
}

void QTextBrowserWithNetwork::onDownloadFinished(QUrl Url, QByteArray Data)
{
    if (m_hRequestedTypes.value(Url) == QTextDocument::ImageResource) {
        const QImage oPicture = decodePicture(Data);
        if (oPicture.isNull()) {
            qWarning() << "Download failed:" << Url.toString() << "is not a picture of a usable size";
            return;
        }
        m_hResourceCache.insert(Url, oPicture);
    } else {
        m_hResourceCache.insert(Url, Data);
    }
    // Setting the document again makes it ask for its resources anew.
    setHtml(toHtml());
    updateGeometry();
}

void QTextBrowserWithNetwork::onDownloadFailed(QUrl Url, QString ErrorString)
{
    qWarning() << "Download failed:" << Url.toString() << ErrorString;
}

} // namespace shared
