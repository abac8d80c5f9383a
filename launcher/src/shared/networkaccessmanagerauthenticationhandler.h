#pragma once

#include <QMap>
#include <QObject>
#include <QString>

namespace shared {

// Place for credentials per host. None are ever stored, so every request that
// demands authentication ends with the manager's authentication error.
class TNetworkAccessManagerAuthenticationHandler : public QObject
{
public:
    using QObject::QObject;

private:
    QMap<QString, QString> m_hCredentials;
};

} // namespace shared
