#pragma once

#include <QByteArray>
#include <QColor>
#include <QSize>

// A PNG file's bytes: one colour all over.
QByteArray testPng(const QSize& oSize, const QColor& oColour = Qt::darkCyan);
