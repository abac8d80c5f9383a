#pragma once

#include <QUrl>

namespace velmar::launcher {

// A patch listed with a file. Kept with the file; installation does not use it.
class TPatchDescription
{
public:
    TPatchDescription(QUrl oUrl, int nFromVersion, int nToVersion, int nSize)
        : m_oUrl(std::move(oUrl)), m_nFromVersion(nFromVersion), m_nToVersion(nToVersion), m_nSize(nSize)
    {
    }

    const QUrl& url() const { return m_oUrl; }
    int fromVersion() const { return m_nFromVersion; }
    int toVersion() const { return m_nToVersion; }
    int size() const { return m_nSize; }

private:
    QUrl m_oUrl;
    int m_nFromVersion;
    int m_nToVersion;
    int m_nSize;
};

} // namespace velmar::launcher
