#include "toolio.h"

#include "shared/filesystemhelper.h"

#include <QSaveFile>

#include <cstdio>
#include <stdexcept>

QByteArray readWholeFile(const QString& sPath)
{
    shared::TFileSystemHelper oFiles;
    return oFiles.readFile(sPath);
}

void writeFileAtomically(const QString& sPath, const QByteArray& aData)
{
    QSaveFile oFile(sPath);
    const auto fail = [&oFile, &sPath]() {
        throw std::runtime_error(QStringLiteral("Could not write '%1': %2").arg(sPath, oFile.errorString()).toStdString());
    };
    if (!oFile.open(QIODevice::WriteOnly))
        fail();
    if (oFile.write(aData) != aData.size())
        fail();
    if (!oFile.commit())
        fail();
}

void printError(const QString& sText)
{
    std::fprintf(stderr, "%s\n", sText.toLocal8Bit().constData());
}

int usageError(const QString& sReason, const QString& sUsage)
{
    printError(sReason);
    std::fprintf(stderr, "%s", sUsage.toLocal8Bit().constData());
    return kExitUsage;
}

void printOut(const QString& sText)
{
    std::fprintf(stdout, "%s", sText.toLocal8Bit().constData());
}

bool wantsHelp(const QStringList& lArguments)
{
    return lArguments.contains(QStringLiteral("--help")) || lArguments.contains(QStringLiteral("-h"));
}
