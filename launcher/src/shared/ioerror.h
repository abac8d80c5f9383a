#pragma once

#include <QString>
#include <stdexcept>

class QFileDevice;

namespace shared {

// "I/O error on file '<file>': <reason>": the one text every file failure is reported with.
std::runtime_error ioError(const QString& sFileName, const QString& sReason);

// Throws ioError for the device's pending error, if it has one.
void throwOnDeviceError(const QFileDevice& oDevice);

} // namespace shared
