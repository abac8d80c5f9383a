#include "systemsurveyuploader.h"

#include <utility>

namespace systemsurvey {

TSystemSurveyUploader::TSystemSurveyUploader(QUrl oSurveyUrl,
                                             std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> pDocumentCreator,
                                             std::shared_ptr<shared::TJsonDocumentHttpPostSender> pSender)
    : shared::TJsonDocumentUploaderBase(std::move(pSender)),
      m_oSurveyUrl(std::move(oSurveyUrl)),
      m_pDocumentCreator(std::move(pDocumentCreator))
{
}

TSystemSurveyUploader::~TSystemSurveyUploader() = default;

void TSystemSurveyUploader::startUpload()
{
    const QJsonDocument oDocument = m_pDocumentCreator ? m_pDocumentCreator->createDocument() : QJsonDocument();
    upload(m_oSurveyUrl, oDocument);
}

} // namespace systemsurvey
