#include "commands.h"

#include "toolio.h"

#include "shared/packer.h"

#include <exception>

namespace {

QString packUsage()
{
    return QStringLiteral(
               "Usage: corvane-publish pack --method METHOD IN OUT\n"
               "Writes IN in the packed format to OUT.\n"
               "METHOD is one of: %1.\n")
        .arg(shared::packMethodNames().join(QStringLiteral(", ")));
}

} // namespace

int runPack(const QStringList& lArguments)
{
    if (wantsHelp(lArguments)) {
        printOut(packUsage());
        return kExitSuccess;
    }
    QString sMethod;
    QStringList lFiles;
    for (int nIndex = 0; nIndex < lArguments.size(); ++nIndex) {
        const QString& sArgument = lArguments.at(nIndex);
        if (sArgument == QLatin1String("--method")) {
            if (nIndex + 1 == lArguments.size())
                return usageError(QStringLiteral("--method needs a value."), packUsage());
            sMethod = lArguments.at(++nIndex);
        } else if (sArgument.startsWith(QLatin1String("--method="))) {
            sMethod = sArgument.mid(9);
        } else if (sArgument.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("Unknown option '%1'.").arg(sArgument), packUsage());
        } else {
            lFiles.append(sArgument);
        }
    }
    const std::optional<shared::EPackMethod> eMethod = shared::packMethodFromName(sMethod);
    if (!eMethod)
        return usageError(sMethod.isEmpty() ? QStringLiteral("--method is required.")
                                            : QStringLiteral("Unknown method '%1'.").arg(sMethod),
                          packUsage());
    if (lFiles.size() != 2)
        return usageError(QStringLiteral("Expected IN and OUT."), packUsage());

    try {
        writeFileAtomically(lFiles.at(1), shared::pack(readWholeFile(lFiles.at(0)), *eMethod));
    } catch (const std::exception& oError) {
        printError(QString::fromStdString(oError.what()));
        return kExitFailure;
    }
    return kExitSuccess;
}
