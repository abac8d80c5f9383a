#pragma once

#include "systemsurveycreator.h"
#include "systemsurveytojsonconverter.h"

#include <QJsonDocument>

#include <memory>

namespace systemsurvey {

// Gathers a fresh survey and writes it as JSON, each time it is asked.
class TSystemSurveyAsJsonDocumentCreator
{
public:
    TSystemSurveyAsJsonDocumentCreator(std::shared_ptr<TSystemSurveyCreator> pCreator,
                                       std::shared_ptr<TSystemSurveyToJsonConverter> pConverter);
    virtual ~TSystemSurveyAsJsonDocumentCreator();

    // An empty document when either part is missing.
    virtual QJsonDocument createDocument() const;

private:
    std::shared_ptr<TSystemSurveyCreator> m_pCreator;
    std::shared_ptr<TSystemSurveyToJsonConverter> m_pConverter;
};

} // namespace systemsurvey
