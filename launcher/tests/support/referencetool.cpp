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

namespace {

void appendFramed(QByteArray& aTarget, const QByteArray& aBytes)
{
    const quint32 nSize = static_cast<quint32>(aBytes.size());
    for (int nShift = 0; nShift < 32; nShift += 8)
        aTarget.append(static_cast<char>((nSize >> nShift) & 0xff));
    aTarget.append(aBytes);
}

// Reads the jobs framed as above, calls transform() on each and frames the results.
const char kPythonDriver[] = R"(
import struct
def frames(blob):
    position = 0
    while position < len(blob):
        size = struct.unpack_from('<I', blob, position)[0]
        yield blob[position + 4:position + 4 + size]
        position += 4 + size
parts = list(frames(sys.stdin.buffer.read()))
results = []
for argument, data in zip(parts[0::2], parts[1::2]):
    result = transform(data, argument.decode())
    results.append(struct.pack('<I', len(result)) + result)
sys.stdout.buffer.write(b''.join(results))
)";

} // namespace

bool runPythonJobs(const QString& sFunction, const QList<TPythonJob>& lJobs, QList<QByteArray>& lOutputs,
                   QString& sError)
{
    QByteArray aInput;
    for (const TPythonJob& oJob : lJobs) {
        appendFramed(aInput, oJob.sArgument.toUtf8());
        appendFramed(aInput, oJob.aInput);
    }
    const QString sProgram = QStringLiteral("import sys, zlib, lzma\n") + sFunction + QLatin1Char('\n') +
                             QLatin1String(kPythonDriver);
    QByteArray aOutput;
    if (!runReferenceTool(QStringLiteral("python3"), {QStringLiteral("-c"), sProgram}, aInput, aOutput, sError))
        return false;
    lOutputs.clear();
    int nPosition = 0;
    while (nPosition + 4 <= aOutput.size()) {
        quint32 nSize = 0;
        for (int nByte = 0; nByte < 4; ++nByte)
            nSize |= static_cast<quint32>(static_cast<uchar>(aOutput.at(nPosition + nByte))) << (8 * nByte);
        lOutputs.append(aOutput.mid(nPosition + 4, static_cast<int>(nSize)));
        nPosition += 4 + static_cast<int>(nSize);
    }
    if (lOutputs.size() != lJobs.size()) {
        sError = QStringLiteral("python3 returned %1 results for %2 jobs").arg(lOutputs.size()).arg(lJobs.size());
        return false;
    }
    return true;
}
