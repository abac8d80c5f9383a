#include "testpictures.h"

#include <QBuffer>
#include <QFile>
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

bool writeTestFile(const QString& sPath, const QByteArray& aBytes)
{
    QFile oFile(sPath);
    return oFile.open(QIODevice::WriteOnly) && oFile.write(aBytes) == aBytes.size();
}
