#include "jsondocumenthttppostsender.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace shared {

TJsonDocumentHttpPostSender::TJsonDocumentHttpPostSender()
    : m_pNetworkAccessManager(std::make_shared<QNetworkAccessManager>())
{
    connect(m_pNetworkAccessManager.get(), &QNetworkAccessManager::finished, this,
            &TJsonDocumentHttpPostSender::onFinished);
}

TJsonDocumentHttpPostSender::~TJsonDocumentHttpPostSender()
{
    // The manager takes its unfinished replies with it; none of them may report
    // into a sender that is half destroyed.
    disconnect(m_pNetworkAccessManager.get(), nullptr, this, nullptr);
}

void TJsonDocumentHttpPostSender::post(const QUrl& oUrl, const QJsonDocument& oDocument)
{
    QNetworkRequest oRequest(oUrl);
    oRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    oRequest.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"metadata\""));
    m_pNetworkAccessManager->post(oRequest, oDocument.toJson(QJsonDocument::Compact));
}

void TJsonDocumentHttpPostSender::onFinished(QNetworkReply* pReply)
{
    const QByteArray aBody = pReply->readAll();
    emit finished(pReply->error(), pReply->errorString(), aBody);
    pReply->deleteLater();
}

} // namespace shared
