#include "launcherconfigurationreader.h"

#include "jsonfields.h"
#include "launcherconfigurationexception.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace velmar::launcher {

TLauncherConfigurationReader::TLauncherConfigurationReader(QByteArray aDocument, QUrl oBaseUrl)
    : m_oBaseUrl(std::move(oBaseUrl))
    , m_aDocument(std::move(aDocument))
{
    QJsonParseError oError;
    const QJsonDocument oDocument = QJsonDocument::fromJson(m_aDocument, &oError);
    if (oError.error != QJsonParseError::NoError)
        throw TLauncherConfigurationException(oError.errorString().toStdString());
    const QJsonObject oRoot = oDocument.object();

    const QJsonValue oLauncher = oRoot.value(QLatin1String("launcher"));
    if (oLauncher.isObject())
        m_pLauncherPackage = std::make_shared<TPackage>(TPackage::kLauncherIndex, oLauncher.toObject(), *this);

    const QJsonValue oPackages = oRoot.value(QLatin1String("packages"));
    m_bListsPackages = oPackages.isArray();
    if (m_bListsPackages) {
        const QJsonArray lPackages = oPackages.toArray();
        m_lPackages.reserve(static_cast<size_t>(lPackages.size()));
        for (const QJsonValue oPackage : lPackages)
            m_lPackages.push_back(
                std::make_shared<TPackage>(static_cast<qint32>(m_lPackages.size()), oPackage.toObject(), *this));
    }

    m_oHardwareSurveyUrl = QUrl(jsonText(oRoot.value(QLatin1String("hardwaresurvey"))));
    m_oHintsUrl = QUrl(jsonText(oRoot.value(QLatin1String("hints"))));
    m_oFunnelUrl = QUrl(jsonText(oRoot.value(QLatin1String("funnel"))));
    m_bPreventDefaultAutostart = jsonBool(oRoot.value(QLatin1String("preventdefaultautostart")), false);
    m_bShowPackageNames = jsonBool(oRoot.value(QLatin1String("showpackagenames")), false);
}

} // namespace velmar::launcher
