#pragma once

#include "launcher/engine/funneleventsink.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

class QJsonObject;

namespace velmar::launcher {

// Tells the publisher's funnel service how far a player got: one POST of a small
// JSON document per event, fire and forget (the answer is only logged), every
// event through the one network access manager of the reporter.
class TFunnelReporter : public QObject, public TFunnelEventSink
{
    Q_OBJECT

public:
    TFunnelReporter(QString sAccountGroupKey, QObject* pParent = nullptr);

    // The service's address, from the launcher metadata; events before it is known go nowhere.
    void setFunnelUrl(const QUrl& oUrl) { m_oFunnelUrl = oUrl; }
    void sendFunnelEvent(const QString& sStep, const QString& sFirstFlagKey) override;

private:
    QString m_sAccountGroupKey;
    QUrl m_oFunnelUrl;
    QNetworkAccessManager m_oNetworkAccessManager;
};

// The "Key" of the account group file's object, or empty with a warning in the log
// that says why there is none.
QString accountGroupKey(const QJsonObject& oAccountGroup);

} // namespace velmar::launcher
