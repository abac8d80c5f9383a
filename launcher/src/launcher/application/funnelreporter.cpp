#include "funnelreporter.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QStandardPaths>
#include <QUuid>

namespace velmar::launcher {

namespace {

// The player's device identifier: created once per user (kept under "FunnelUuid"
// in the per-user settings, and written to "corvaneShared.json" when created).
QString funnelDeviceIdentifier()
{
    QSettings oSettings;
    const QString sKey = QStringLiteral("FunnelUuid");
    if (oSettings.contains(sKey))
        return oSettings.value(sKey).toString();
    const QString sIdentifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
    oSettings.setValue(sKey, sIdentifier);
    // Other programs of the maker read the identifier here; the folder is theirs to create.
    const QString sShared = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                .filePath(QStringLiteral("Corvane Online/corvaneShared.json"));
    QFile oFile(sShared);
    if (oFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        oFile.write(QJsonDocument(QJsonObject{{QStringLiteral("DeviceIdentifier"), sIdentifier}}).toJson());
    return sIdentifier;
}

// Reads the per-user first-time flag of a step and clears it: true exactly once per user.
bool takeFunnelFirstFlag(const QString& sFirstFlagKey)
{
    QSettings oSettings;
    const bool bFirst = oSettings.value(sFirstFlagKey, true).toBool();
    if (bFirst)
        oSettings.setValue(sFirstFlagKey, false);
    return bFirst;
}

QByteArray funnelEventDocument(const QString& sStep, bool bFirst, const QString& sDeviceIdentifier,
                               const QString& sAccountGroupKey)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("step"), sStep},
                                     {QStringLiteral("first"), bFirst},
                                     {QStringLiteral("id"), sDeviceIdentifier},
                                     {QStringLiteral("accountgroupkey"), sAccountGroupKey}})
        .toJson();
}

} // namespace

TFunnelReporter::TFunnelReporter(QString sAccountGroupKey, QObject* pParent)
    : QObject(pParent), m_sAccountGroupKey(std::move(sAccountGroupKey))
{
}

void TFunnelReporter::sendFunnelEvent(const QString& sStep, const QString& sFirstFlagKey)
{
    qInfo() << "sendFunnelEvent: " << sStep;
    const QByteArray aBody
        = funnelEventDocument(sStep, takeFunnelFirstFlag(sFirstFlagKey), funnelDeviceIdentifier(), m_sAccountGroupKey);
    QNetworkRequest oRequest(m_oFunnelUrl);
    oRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    qInfo() << "Sending funnel event for step " << sStep;
    QNetworkReply* pReply = m_oNetworkAccessManager.post(oRequest, aBody);
    connect(pReply, &QNetworkReply::finished, this, [pReply, sStep] {
        if (pReply->error() != QNetworkReply::NoError)
            qWarning() << "Error funnel sending (Step: " << sStep << "):" << pReply->errorString();
        else
            qInfo() << "Funnel response received (Step: " << sStep << "):" << QString::fromUtf8(pReply->readAll());
        pReply->deleteLater();
    });
}

QString accountGroupKey(const QJsonObject& oAccountGroup)
{
    const QJsonValue oKey = oAccountGroup.value(QStringLiteral("Key"));
    if (!oAccountGroup.isEmpty() && oKey.isString())
        return oKey.toString();
    if (oAccountGroup.isEmpty())
        qWarning() << "AccountGroupSetting Error: Empty";
    else if (oKey.isUndefined())
        qWarning() << "AccountGroupSetting Error: KeyNotExists";
    else
        qWarning() << "AccountGroupSetting Error: KeyNoString";
    return QString();
}

} // namespace velmar::launcher
