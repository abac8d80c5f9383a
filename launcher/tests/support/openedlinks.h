#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

// Takes the place of the system browser while it lives: every link the program
// hands to the desktop (web, file and mail links) is recorded instead of opened.
class TOpenedLinks : public QObject
{
    Q_OBJECT

public:
    TOpenedLinks()
    {
        for (const char* pScheme : kSchemes)
            QDesktopServices::setUrlHandler(QLatin1String(pScheme), this, "open");
    }
    ~TOpenedLinks() override
    {
        for (const char* pScheme : kSchemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(pScheme));
    }

    const QList<QUrl>& links() const { return m_lLinks; }
    void clear() { m_lLinks.clear(); }

public slots:
    void open(const QUrl& oUrl) { m_lLinks.append(oUrl); }

private:
    static constexpr const char* kSchemes[] = {"http", "https", "file", "mailto", "ftp"};
    QList<QUrl> m_lLinks;
};
