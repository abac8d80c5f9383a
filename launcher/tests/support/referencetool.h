#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs an independent program (python3, lzip, xz) that makes or checks test
// vectors: aInput on its standard input, its standard output in aOutput. False,
// with sError saying why, when it cannot start, fails or exits non-zero.
inline bool runReferenceTool(const QString& sProgram, const QStringList& lArguments, const QByteArray& aInput,
                             QByteArray& aOutput, QString& sError)
{
    QProcess oProcess;
    oProcess.start(sProgram, lArguments);
    // QProcess feeds the input and drains the output while it waits, so inputs
    // larger than a pipe holds do not stall either side.
    oProcess.write(aInput);
    oProcess.closeWriteChannel();
    const bool bFinished = oProcess.waitForFinished(120000);
    aOutput = oProcess.readAllStandardOutput();
    if (bFinished && oProcess.exitStatus() == QProcess::NormalExit && oProcess.exitCode() == 0)
        return true;
    oProcess.kill();
    oProcess.waitForFinished();
    sError = QStringLiteral("%1 %2: %3 %4").arg(sProgram, lArguments.join(QLatin1Char(' ')), oProcess.errorString(),
                                                QString::fromLocal8Bit(oProcess.readAllStandardError()));
    return false;
}
