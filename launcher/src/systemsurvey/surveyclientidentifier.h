#pragma once

#include <QString>
#include <QStringList>

namespace systemsurvey {

// The survey's anonymous machine identifier: SHA-1 over a fixed salt followed by
// the hardware address text of every network interface, in the network library's
// order, as 40 lower-case hexadecimal characters. Computed on first use and kept
// for the rest of the process, so interfaces coming and going mid-run do not
// change it. Safe to call from any thread.
QString surveyClientIdentifier();

// The same digest over the given hardware address texts (empty ones add nothing).
QString computeSurveyClientIdentifier(const QStringList& lHardwareAddresses);

} // namespace systemsurvey
