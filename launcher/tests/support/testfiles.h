#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Writes the file, making its folders; false when it could not be written whole.
inline bool writeTestFile(const QString& sPath, const QByteArray& aBytes, bool bExecutable = false)
{
    QDir().mkpath(QFileInfo(sPath).path());
    QFile oFile(sPath);
    if (!oFile.open(QIODevice::WriteOnly) || oFile.write(aBytes) != aBytes.size())
        return false;
    oFile.close();
    if (bExecutable)
        oFile.setPermissions(oFile.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    return true;
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readTestFile(const QString& sPath)
{
    QFile oFile(sPath);
    return oFile.open(QIODevice::ReadOnly) ? oFile.readAll() : QByteArray();
}
