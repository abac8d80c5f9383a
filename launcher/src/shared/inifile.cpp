#include "inifile.h"

#include <QFile>

namespace shared {

namespace {

QString unquoted(const QString& sValue)
{
    if (sValue.size() < 2 || !sValue.startsWith(QLatin1Char('"')) || !sValue.endsWith(QLatin1Char('"')))
        return sValue;
    QString sText;
    for (int nAt = 1; nAt + 1 < sValue.size(); ++nAt) {
        if (sValue[nAt] == QLatin1Char('\\') && nAt + 2 < sValue.size())
            ++nAt;
        sText += sValue[nAt];
    }
    return sText;
}

QString keyOf(const QString& sSection, const QString& sKey)
{
    return sSection + QLatin1Char('\n') + sKey;
}

} // namespace

TIniFile::TIniFile(const QString& sPath)
{
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::ReadOnly))
        return;
    QString sSection;
    for (const QString& sRawLine : QString::fromUtf8(oFile.readAll()).split(QLatin1Char('\n'))) {
        const QString sLine = sRawLine.trimmed();
        if (sLine.isEmpty() || sLine.startsWith(QLatin1Char(';')) || sLine.startsWith(QLatin1Char('#')))
            continue;
        if (sLine.startsWith(QLatin1Char('[')) && sLine.endsWith(QLatin1Char(']'))) {
            sSection = sLine.mid(1, sLine.size() - 2).trimmed();
            continue;
        }
        const int nEquals = sLine.indexOf(QLatin1Char('='));
        if (nEquals <= 0)
            continue;
        m_hValues.insert(keyOf(sSection, sLine.left(nEquals).trimmed()), unquoted(sLine.mid(nEquals + 1).trimmed()));
    }
}

QString TIniFile::value(const QString& sSection, const QString& sKey) const
{
    return m_hValues.value(keyOf(sSection, sKey));
}

} // namespace shared
