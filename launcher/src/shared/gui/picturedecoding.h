#pragma once

#include <QByteArray>
#include <QImage>

namespace shared {

// Pictures from the network larger than this in either direction are refused
// before they are decoded: a small file may claim an enormous canvas.
constexpr int kMaximumPictureSide = 4096;

// The picture the bytes hold, or a null image when they hold none or one of
// unreasonable size.
QImage decodePicture(const QByteArray& aData);

} // namespace shared
