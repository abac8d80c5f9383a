#pragma once

#include <QHash>
#include <QString>

namespace shared {

// A plain INI file: "[section]" lines, "key=value" lines, ";" and "#" comments.
// Values are taken as text, a pair of double quotes around one is removed; a key
// met again, also in a section opened again, takes the later value. Unlike
// QSettings it never decodes "@Variant(...)" and its kin, whose binary payloads
// let a malformed file ask for any amount of memory.
class TIniFile
{
public:
    // A missing or unreadable file reads as empty.
    explicit TIniFile(const QString& sPath);

    // A null string when the section has no such key.
    QString value(const QString& sSection, const QString& sKey) const;

private:
    QHash<QString, QString> m_hValues;
};

} // namespace shared
