#include "qcontextpushbutton.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

QContextPushButton::QContextPushButton(QWidget* pParent) : QPushButton(pParent), m_pMenu(new QMenu(this))
{
    connect(m_pMenu, &QMenu::triggered, this, &QContextPushButton::onContextMenuActionTriggered);
}

void QContextPushButton::contextMenuEvent(QContextMenuEvent* pEvent)
{
    if (!m_pMenu->actions().isEmpty())
        m_pMenu->popup(pEvent->globalPos());
}

void QContextPushButton::onContextMenuActionTriggered(QAction* action)
{
    emit contextTriggered(action->text());
}
