#pragma once

#include <QMainWindow>
#include <QPoint>

namespace velmar::launcher {

// A main window that can be dragged by any part of its surface that does not
// take the mouse itself.
class TDraggableMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit TDraggableMainWindow(QWidget* pParent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    // The last global position of a drag; (0, 0) while there is none.
    QPoint m_oDragPosition;
};

} // namespace velmar::launcher
