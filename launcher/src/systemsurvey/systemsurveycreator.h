#pragma once

#include "systemsurvey.h"
#include "systemsurveyvalueretriever.h"

#include <memory>

namespace systemsurvey {

// Builds the survey record from the values of one retriever.
class TSystemSurveyCreator
{
public:
    explicit TSystemSurveyCreator(std::shared_ptr<TSystemSurveyValueRetriever> pRetriever);
    virtual ~TSystemSurveyCreator();

    // Asks the retriever for monitors, operating system, main memory, processor and
    // graphics adapters, in that order; screens without area are left out.
    virtual TSystemSurvey createSurvey() const;

private:
    std::shared_ptr<TSystemSurveyValueRetriever> m_pRetriever;
};

} // namespace systemsurvey
