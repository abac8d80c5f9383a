#include "referencetool.h"

#include <QProcess>

bool runReferenceTool(const QString& sProgram, const QStringList& lArguments, const QByteArray& aInput,
                      QByteArray& aOutput, QString& sError)
{
    QProcess oProcess;
    oProcess.start(sProgram, lArguments);
    if (!oProcess.waitForStarted(30000)) {
        sError = QStringLiteral("%1 did not start: %2").arg(sProgram, oProcess.errorString());
        return false;
    }
    // QProcess feeds the input and drains the output while it waits, so inputs
    // larger than a pipe holds do not stall either side.
    oProcess.write(aInput);
    oProcess.closeWriteChannel();
    if (!oProcess.waitForFinished(120000)) {
        oProcess.kill();
        oProcess.waitForFinished();
        sError = QStringLiteral("%1 did not finish").arg(sProgram);
        return false;
    }
    aOutput = oProcess.readAllStandardOutput();
    if (oProcess.exitStatus() != QProcess::NormalExit || oProcess.exitCode() != 0) {
        sError = QStringLiteral("%1 %2 failed with exit code %3: %4")
                     .arg(sProgram, lArguments.join(QLatin1Char(' ')))
                     .arg(oProcess.exitCode())
                     .arg(QString::fromLocal8Bit(oProcess.readAllStandardError()));
        return false;
    }
    return true;
}
