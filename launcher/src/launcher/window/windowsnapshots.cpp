#include "windowsnapshots.h"

#include <QDebug>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSet>
#include <QWidget>

namespace velmar::launcher {

namespace {

QString snapshotFolder()
{
#ifdef CORVANE_CRASH_POINTS
    return QString::fromLocal8Bit(qgetenv("CORVANE_SNAPSHOTS"));
#else
    return QString();
#endif
}

} // namespace

bool TWindowSnapshots::enabled()
{
    return !snapshotFolder().isEmpty();
}

bool TWindowSnapshots::verifyRequested()
{
#ifdef CORVANE_CRASH_POINTS
    static bool s_bAsked = false;
    if (!enabled() || s_bAsked || qgetenv("CORVANE_SNAPSHOT_VERIFY").isEmpty())
        return false;
    s_bAsked = true;
    return true;
#else
    return false;
#endif
}

void TWindowSnapshots::take(QWidget* pWindow, const QString& sState)
{
    static QSet<QString> s_lTaken;
    const QString sPath = QDir(snapshotFolder()).filePath(sState + QStringLiteral(".png"));
    // A later run of the script does not replace what an earlier one saved.
    if (!enabled() || !pWindow || s_lTaken.contains(sState) || QFileInfo::exists(sPath))
        return;
    s_lTaken.insert(sState);

    // A text changed in the same pass has not been laid out yet: the screen
    // would show it laid out, so the picture does too.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QPixmap oPicture = pWindow->grab();
    {
        QPainter oPainter(&oPicture);
        // A box is a window of its own; it is drawn where it would stand, centred.
        for (QMessageBox* pBox : pWindow->findChildren<QMessageBox*>()) {
            if (!pBox->isVisible())
                continue;
            const QPixmap oBox = pBox->grab();
            const QPoint oAt((oPicture.width() - oBox.width()) / 2, (oPicture.height() - oBox.height()) / 2);
            oPainter.drawPixmap(oAt, oBox);
            oPainter.setPen(QPen(Qt::black, 1));
            oPainter.drawRect(QRect(oAt, oBox.size()).adjusted(0, 0, -1, -1));
        }
    }
    if (oPicture.save(sPath, "PNG"))
        qInfo().noquote() << "snapshot saved:" << sPath;
    else
        qWarning().noquote() << "snapshot not saved:" << sPath;
}

} // namespace velmar::launcher
