#include "ioerror.h"

#include <QFileDevice>

namespace shared {

std::runtime_error ioError(const QString& sFileName, const QString& sReason)
{
    return std::runtime_error(
        QStringLiteral("I/O error on file '%1': %2").arg(sFileName, sReason).toStdString());
}

void throwOnDeviceError(const QFileDevice& oDevice)
{
    if (oDevice.error() != QFileDevice::NoError)
        throw ioError(oDevice.fileName(), oDevice.errorString());
}

} // namespace shared
