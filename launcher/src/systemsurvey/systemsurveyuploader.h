#pragma once

#include "systemsurveyasjsondocumentcreator.h"

#include "shared/jsondocumentuploaderbase.h"

#include <QUrl>

#include <memory>

namespace systemsurvey {

// Posts this machine's hardware survey to the survey endpoint; the outcome comes
// as the base's finished() with lastErrorCode()/lastErrorMessage().
class TSystemSurveyUploader : public shared::TJsonDocumentUploaderBase
{
    Q_OBJECT
    Q_DISABLE_COPY(TSystemSurveyUploader)

public:
    TSystemSurveyUploader(QUrl oSurveyUrl, std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> pDocumentCreator,
                          std::shared_ptr<shared::TJsonDocumentHttpPostSender> pSender);
    ~TSystemSurveyUploader() override;

    // Gathers the survey now, on the calling thread, and posts it.
    virtual void startUpload();

    const QUrl& surveyUrl() const { return m_oSurveyUrl; }

private:
    QUrl m_oSurveyUrl;
    std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> m_pDocumentCreator;
};

} // namespace systemsurvey
