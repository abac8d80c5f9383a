#pragma once

#include "systemsurvey.h"

#include <QJsonDocument>

namespace systemsurvey {

// Writes a survey record as the survey endpoint's JSON document (data type 0),
// stamped with this machine's survey client identifier.
class TSystemSurveyToJsonConverter
{
public:
    TSystemSurveyToJsonConverter();
    virtual ~TSystemSurveyToJsonConverter();

    // Keys the endpoint treats as optional are left out rather than sent empty:
    // "release" without a release text, and per adapter "vendorId" without a vendor
    // id, "deviceId" and "driverVersion" without a driver version.
    virtual QJsonDocument convert(const TSystemSurvey& oSurvey) const;
};

} // namespace systemsurvey
