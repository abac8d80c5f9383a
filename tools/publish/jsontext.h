#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Pieces of JSON text. The documents are written by hand rather than through
// QJsonDocument so that their keys keep a fixed, readable order and sizes never
// pass through a double: the same input gives the same bytes.

// The text as a JSON string literal in UTF-8, quotes included.
QByteArray jsonString(const QString& sText);
QByteArray jsonNumber(quint64 nValue);
QByteArray jsonBool(bool bValue);
// ["a", "b"]
QByteArray jsonStringArray(const QStringList& lTexts);
// "key": value
QByteArray jsonMember(const char* pKey, const QByteArray& aValue);
// {"key": value, ...} on one line, from members made with jsonMember().
QByteArray jsonObject(const QList<QByteArray>& lMembers);
