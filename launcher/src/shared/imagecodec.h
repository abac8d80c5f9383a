#pragma once

#include <QByteArray>

#include <functional>
#include <memory>

class QImage;

namespace shared {

// Pictures belong to Qt Gui, which the file layer does not link: the library that
// draws registers how bytes become a picture and back (registerQImageCodec()),
// and TFileSystemHelper's image functions forward to it.
struct TImageCodec
{
    // Null when the bytes hold no picture of the format.
    std::function<std::shared_ptr<QImage>(const QByteArray& aBytes, const char* pFormat)> fnDecode;
    // The picture's bytes in the format; empty when it cannot be written so.
    std::function<QByteArray(const QImage& oImage, const char* pFormat)> fnEncode;
};

// Set once at start-up, before any thread reads a picture.
void setImageCodec(TImageCodec oCodec);
// Both functions are empty until a codec is set.
const TImageCodec& imageCodec();

} // namespace shared
