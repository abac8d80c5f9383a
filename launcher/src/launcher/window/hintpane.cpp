#include "hintpane.h"

#include "uistyle.h"

#include "shared/boundeddownloads.h"
#include "shared/gui/clickablelabel.h"
#include "shared/gui/picturedecoding.h"
#include "shared/gui/qtextbrowserwithnetwork.h"
#include "shared/gui/weblink.h"

#include <QDebug>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>

namespace velmar::launcher {

namespace {

const QSize kPictureSize(290, 80);

} // namespace

QRegion hintPaneRegion(const QString& sCategory, const QSize& oSize)
{
    const qreal fW = oSize.width();
    const qreal fH = oSize.height();
    QPolygonF oCorners;
    if (sCategory == QLatin1String("cat1"))
        oCorners << QPointF(0, 0) << QPointF(fW, 0) << QPointF(fW - fH / 2, fH) << QPointF(0, fH);
    else if (sCategory == QLatin1String("cat2"))
        oCorners << QPointF(fH / 2, 0) << QPointF(fW, 0) << QPointF(fW - fH / 2, fH) << QPointF(0, fH);
    else
        oCorners << QPointF(fH / 2, 0) << QPointF(fW, 0) << QPointF(fW, fH) << QPointF(0, fH);
    QPainterPath oPath;
    oPath.addPolygon(oCorners);
    oPath.closeSubpath();
    if (sCategory != QLatin1String("cat1")) {
        QPainterPathStroker oStroker;
        oStroker.setWidth(1);
        oStroker.setJoinStyle(Qt::RoundJoin);
        oPath = oPath.united(oStroker.createStroke(oPath));
    }
    return QRegion(oPath.toFillPolygon().toPolygon());
}

THintPane::THintPane(const QString& sCategory, std::shared_ptr<shared::TDownloadPool> pDownloadPool, QWidget* pParent)
    : QWidget(pParent)
    , m_sCategory(sCategory)
    , m_pDownloadPool(std::move(pDownloadPool))
    , m_pContainer(new QWidget(this))
    , m_pPlaceholder(new shared::QTextBrowserWithNetwork(m_pDownloadPool, m_pContainer))
    , m_pDownloads(new shared::TBoundedDownloads(m_pDownloadPool, kMaximumPictureBytes, kPictureTimeoutMilliseconds, this))
{
    setObjectName(QStringLiteral("hintFrame"));
    setFixedSize(kFrameWidth, kFrameHeight);
    // Neighbouring frames overlap where their slanted edges meet.
    setMask(hintPaneRegion(m_sCategory, size()));
    setAttribute(Qt::WA_StyledBackground);
    m_pContainer->setFixedSize(kWidth, kHeight);
    m_pContainer->move((kFrameWidth - kWidth) / 2, (kFrameHeight - kHeight) / 2);
    m_pContainer->setMask(hintPaneRegion(m_sCategory, m_pContainer->size()));

    m_pPlaceholder->setContextMenuPolicy(Qt::NoContextMenu);
    m_pPlaceholder->setFixedSize(280, 104);
    m_pPlaceholder->viewport()->setAutoFillBackground(true);
    m_pPlaceholder->document()->setDefaultStyleSheet(
        QStringLiteral("\n        a {\n          text-decoration:underline;\n          color: #c0c0c0;\n        }\n      "));
    m_pPlaceholder->setStyleSheet(QStringLiteral("QTextBrowser { %1 border: none; }\n%2").arg(textStyle(11), scrollBarStyle()));

    connect(m_pDownloads, &shared::TBoundedDownloads::finished, this, &THintPane::onPictureFinished);
    connect(m_pDownloads, &shared::TBoundedDownloads::failed, this, &THintPane::onPictureFailed);
}

THintPane::~THintPane() = default;

void THintPane::showHint(const shared::THint& oHint)
{
    if (m_pPlaceholder) {
        m_pPlaceholder->hide();
        m_pPlaceholder->deleteLater();
        m_pPlaceholder = nullptr;
    }
    delete m_pPicture;
    delete m_pCaption;
    m_oPageUrl = QUrl(oHint.m_sUrl);

    m_pPicture = new ClickableLabel(m_pContainer);
    m_pPicture->setMinimumSize(kPictureSize);
    m_pPicture->setGeometry(QRect(QPoint((kWidth - kPictureSize.width()) / 2, (kHeight - kPictureSize.height()) / 2),
                                  kPictureSize));
    m_pPicture->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_pPicture->setToolTip(oHint.m_sUrl);
    m_pPicture->setCursor(Qt::PointingHandCursor);
    connect(m_pPicture, &ClickableLabel::clicked, this, &THintPane::openHintPage);

    m_pCaption = new ClickableLabel(m_pContainer);
    m_pCaption->setTextFormat(Qt::RichText);
    m_pCaption->setText(oHint.m_sRichText);
    m_pCaption->setStyleSheet(QStringLiteral("QLabel { %1 padding-left: %2px; background: rgba(50, 50, 50, 0.7); }")
                                  .arg(textStyle(11))
                                  .arg(m_sCategory == QLatin1String("cat1") ? 10 : 18));
    m_pCaption->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    m_pCaption->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pCaption->setToolTip(oHint.m_sUrl);
    m_pCaption->setCursor(Qt::PointingHandCursor);
    m_pCaption->setGeometry(0, 50, 280, 30);
    m_pCaption->setVisible(!oHint.m_sRichText.trimmed().isEmpty());
    // A link inside the caption goes where the whole caption goes: one click,
    // one page, never a second one from the document.
    connect(m_pCaption, &ClickableLabel::clicked, this, &THintPane::openHintPage);
    m_pPicture->show();
    m_pCaption->raise();

    setStyleSheet(QStringLiteral("#hintFrame { background-color: transparent; }\n"
                                 "#hintFrame:hover { background-color: #8ED838; }"));

    m_oPictureUrl = QUrl(oHint.m_sImageUrl);
    if (oHint.m_sImageUrl.isEmpty()) {
        m_oPictureUrl = QUrl();
        emit pictureSettled(false);
        return;
    }
    m_pDownloads->fetch(m_oPictureUrl);
}

void THintPane::onPictureFinished(QUrl Url, QByteArray Data)
{
    if (Url != m_oPictureUrl || !m_pPicture)
        return;
    const QImage oPicture = shared::decodePicture(Data);
    if (oPicture.isNull()) {
        onPictureFailed(Url, QStringLiteral("not a picture of a usable size"));
        return;
    }
    const QPixmap oScaled = QPixmap::fromImage(
        oPicture.scaled(kPictureSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
    m_pPicture->setGeometry((kWidth - oScaled.width()) / 2, (kHeight - oScaled.height()) / 2, oScaled.width(),
                            oScaled.height());
    m_pPicture->setPixmap(oScaled);
    emit pictureSettled(true);
}

void THintPane::onPictureFailed(QUrl Url, QString Reason)
{
    if (Url != m_oPictureUrl)
        return;
    qWarning() << "Hint picture not shown:" << Url.toString() << Reason;
    emit pictureSettled(false);
}

void THintPane::openHintPage() const
{
    shared::openWebLink(m_oPageUrl);
}

} // namespace velmar::launcher
