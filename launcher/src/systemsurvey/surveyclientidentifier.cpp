#include "surveyclientidentifier.h"

#include <QCryptographicHash>
#include <QNetworkInterface>

namespace systemsurvey {

QString computeSurveyClientIdentifier(const QStringList& lHardwareAddresses)
{
    QCryptographicHash oHash(QCryptographicHash::Sha1);
    oHash.addData(QStringLiteral("3f6c2a90-5d1e-4b7a-9c08-e2a4d7b1f356").toLocal8Bit());
    for (const QString& sAddress : lHardwareAddresses)
        oHash.addData(sAddress.toLocal8Bit());
    return QString::fromLatin1(oHash.result().toHex());
}

QString surveyClientIdentifier()
{
    static const QString sIdentifier = [] {
        QStringList lAddresses;
        const QList<QNetworkInterface> lInterfaces = QNetworkInterface::allInterfaces();
        for (const QNetworkInterface& oInterface : lInterfaces)
            lAddresses.append(oInterface.hardwareAddress());
        return computeSurveyClientIdentifier(lAddresses);
    }();
    return sIdentifier;
}

} // namespace systemsurvey
