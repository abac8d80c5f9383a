#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

// A PNG file's bytes: one colour all over.
inline QByteArray testPng(const QSize& oSize, const QColor& oColour = Qt::darkCyan)
{
    QImage oImage(oSize, QImage::Format_ARGB32);
    oImage.fill(oColour);
    QByteArray aBytes;
    QBuffer oBuffer(&aBytes);
    oBuffer.open(QIODevice::WriteOnly);
    oImage.save(&oBuffer, "PNG");
    return aBytes;
}
