#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Takes the place of the system browser while it lives: every link the program
// hands to the desktop (web, file and mail links) is recorded instead of opened.
class TOpenedLinks : public QObject
{
    Q_OBJECT

public:
    TOpenedLinks();
    ~TOpenedLinks() override;

    const QList<QUrl>& links() const { return m_lLinks; }
    void clear() { m_lLinks.clear(); }

public slots:
    void open(const QUrl& oUrl) { m_lLinks.append(oUrl); }

private:
    QList<QUrl> m_lLinks;
};
