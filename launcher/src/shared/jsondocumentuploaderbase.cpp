#include "jsondocumentuploaderbase.h"

#include <QJsonObject>
#include <QJsonParseError>

#include <utility>

namespace shared {

namespace {
constexpr int kAnswerNotJson = -100;
}

TJsonDocumentUploaderBase::TJsonDocumentUploaderBase(std::shared_ptr<TJsonDocumentHttpPostSender> pSender)
    : m_pSender(std::move(pSender))
{
    if (m_pSender)
        connect(m_pSender.get(), &TJsonDocumentHttpPostSender::finished, this, &TJsonDocumentUploaderBase::onFinished);
}

TJsonDocumentUploaderBase::~TJsonDocumentUploaderBase() = default;

void TJsonDocumentUploaderBase::upload(const QUrl& oUrl, const QJsonDocument& oDocument)
{
    if (m_pSender)
        m_pSender->post(oUrl, oDocument);
}

void TJsonDocumentUploaderBase::onFinished(QNetworkReply::NetworkError NetworkErrorCode, QString NetworkErrorString,
                                           QByteArray ReplyFromServer)
{
    m_sLastErrorMessage.clear();
    m_nLastErrorCode = 0;
    QJsonDocument oResult;
    bool bSuccess = false;

    if (NetworkErrorCode != QNetworkReply::NoError) {
        m_sLastErrorMessage = NetworkErrorString;
    } else {
        QJsonParseError oParseError;
        const QJsonDocument oAnswer = QJsonDocument::fromJson(ReplyFromServer, &oParseError);
        if (oParseError.error != QJsonParseError::NoError) {
            m_sLastErrorMessage = oParseError.errorString();
            m_nLastErrorCode = kAnswerNotJson;
        } else {
            oResult = oAnswer;
            const QJsonObject oObject = oAnswer.object();
            const int nErrorCode = oObject.value(QStringLiteral("errorCode")).toInt();
            if (nErrorCode != 0) {
                m_sLastErrorMessage = oObject.value(QStringLiteral("errorMessage")).toString();
                m_nLastErrorCode = nErrorCode;
            } else {
                bSuccess = true;
            }
        }
    }
    emit finished(bSuccess, oResult);
}

} // namespace shared
