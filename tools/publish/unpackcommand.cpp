#include "commands.h"

#include "toolio.h"

#include "shared/packeddata.h"

#include <exception>

namespace {

QString unpackUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish unpack [--lenient] IN OUT\n"
        "Writes the unpacked contents of IN to OUT; bytes that are not packed are copied.\n"
        "Without --lenient, data that does not unpack is an error and OUT stays untouched;\n"
        "with it, such data is copied as it is.\n");
}

} // namespace

int runUnpack(const QStringList& lArguments)
{
    if (wantsHelp(lArguments)) {
        printOut(unpackUsage());
        return kExitSuccess;
    }
    bool bLenient = false;
    QStringList lFiles;
    for (const QString& sArgument : lArguments) {
        if (sArgument == QLatin1String("--lenient"))
            bLenient = true;
        else if (sArgument.startsWith(QLatin1String("--")))
            return usageError(QStringLiteral("Unknown option '%1'.").arg(sArgument), unpackUsage());
        else
            lFiles.append(sArgument);
    }
    if (lFiles.size() != 2)
        return usageError(QStringLiteral("Expected IN and OUT."), unpackUsage());

    try {
        const QByteArray aInput = readWholeFile(lFiles.at(0));
        writeFileAtomically(lFiles.at(1), bLenient ? shared::unpackLenient(aInput) : shared::unpackStrict(aInput));
    } catch (const std::exception& oError) {
        printError(QString::fromStdString(oError.what()));
        return kExitFailure;
    }
    return kExitSuccess;
}
