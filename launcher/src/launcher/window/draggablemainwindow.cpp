#include "draggablemainwindow.h"

#include <QMouseEvent>

namespace velmar::launcher {

TDraggableMainWindow::TDraggableMainWindow(QWidget* pParent) : QMainWindow(pParent) {}

void TDraggableMainWindow::mousePressEvent(QMouseEvent* pEvent)
{
    m_oDragPosition = pEvent->globalPos();
}

void TDraggableMainWindow::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (pEvent->buttons() == Qt::NoButton)
        return;
    if (!m_oDragPosition.isNull())
        move(pos() + pEvent->globalPos() - m_oDragPosition);
    m_oDragPosition = pEvent->globalPos();
}

void TDraggableMainWindow::mouseReleaseEvent(QMouseEvent*)
{
    m_oDragPosition = QPoint();
}

} // namespace velmar::launcher
