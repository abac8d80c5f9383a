#include "picturedecoding.h"

#include <QBuffer>
#include <QImageReader>

namespace shared {

QImage decodePicture(const QByteArray& aData)
{
    QBuffer oBuffer;
    oBuffer.setData(aData);
    oBuffer.open(QIODevice::ReadOnly);
    QImageReader oReader(&oBuffer);
    const QSize oSize = oReader.size();
    if (!oSize.isValid() || oSize.width() > kMaximumPictureSide || oSize.height() > kMaximumPictureSide)
        return QImage();
    return oReader.read();
}

} // namespace shared
