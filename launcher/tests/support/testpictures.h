#pragma once

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>

// A PNG file's bytes: one colour all over.
QByteArray testPng(const QSize& oSize, const QColor& oColour = Qt::darkCyan);
// Writes the bytes to the path; false if any step failed.
bool writeTestFile(const QString& sPath, const QByteArray& aBytes);
