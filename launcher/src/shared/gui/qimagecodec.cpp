#include "shared/gui/qimagecodec.h"

#include "shared/imagecodec.h"

#include <QBuffer>
#include <QImage>

#include <mutex>

namespace shared {

namespace {

std::shared_ptr<QImage> decodeImage(const QByteArray& aBytes, const char* pFormat)
{
    auto pImage = std::make_shared<QImage>();
    if (!pImage->loadFromData(aBytes, pFormat))
        return nullptr;
    return pImage;
}

QByteArray encodeImage(const QImage& oImage, const char* pFormat)
{
    QByteArray aBytes;
    QBuffer oBuffer(&aBytes);
    oBuffer.open(QIODevice::WriteOnly);
    oImage.save(&oBuffer, pFormat);
    return aBytes;
}

} // namespace

void registerQImageCodec()
{
    static std::once_flag oOnce;
    std::call_once(oOnce, [] { setImageCodec({&decodeImage, &encodeImage}); });
}

} // namespace shared
