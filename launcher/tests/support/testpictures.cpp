#include "testpictures.h"

#include <QBuffer>
#include <QImage>

QByteArray testPng(const QSize& oSize, const QColor& oColour)
{
    QImage oImage(oSize, QImage::Format_ARGB32);
    oImage.fill(oColour);
    QByteArray aBytes;
    QBuffer oBuffer(&aBytes);
    oBuffer.open(QIODevice::WriteOnly);
    oImage.save(&oBuffer, "PNG");
    return aBytes;
}
