#include "funnelevent.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QUuid>

namespace velmar::launcher {

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

} // namespace velmar::launcher
