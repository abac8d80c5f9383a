#pragma once

#include <QLabel>

// A label that reports every mouse press on it, for pictures and captions that
// act as one big link.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableLabel(QWidget* pParent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
};
