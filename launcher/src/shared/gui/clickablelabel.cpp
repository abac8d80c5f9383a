#include "clickablelabel.h"

ClickableLabel::ClickableLabel(QWidget* pParent) : QLabel(pParent) {}

void ClickableLabel::mousePressEvent(QMouseEvent* pEvent)
{
    QLabel::mousePressEvent(pEvent);
    emit clicked();
}
