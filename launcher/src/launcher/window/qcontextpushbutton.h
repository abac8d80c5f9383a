#pragma once

#include <QPushButton>

class QAction;
class QMenu;

// A push button with a right-click menu; the menu opens only when it has actions.
class QContextPushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit QContextPushButton(QWidget* pParent = nullptr);

    QMenu* menu() const { return m_pMenu; }

signals:
    void contextTriggered(QString actionText);

protected:
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

private slots:
    void onContextMenuActionTriggered(QAction* action);

private:
    QMenu* m_pMenu;
};
