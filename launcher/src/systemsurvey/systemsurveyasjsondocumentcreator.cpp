#include "systemsurveyasjsondocumentcreator.h"

#include <utility>

namespace systemsurvey {

TSystemSurveyAsJsonDocumentCreator::TSystemSurveyAsJsonDocumentCreator(
    std::shared_ptr<TSystemSurveyCreator> pCreator, std::shared_ptr<TSystemSurveyToJsonConverter> pConverter)
    : m_pCreator(std::move(pCreator)), m_pConverter(std::move(pConverter))
{
}

TSystemSurveyAsJsonDocumentCreator::~TSystemSurveyAsJsonDocumentCreator() = default;

QJsonDocument TSystemSurveyAsJsonDocumentCreator::createDocument() const
{
    if (!m_pCreator || !m_pConverter)
        return QJsonDocument();
    return m_pConverter->convert(m_pCreator->createSurvey());
}

} // namespace systemsurvey
