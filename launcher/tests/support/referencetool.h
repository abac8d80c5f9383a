#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Runs an independent program (python3, lzip, xz) that makes or checks test
// vectors: aInput on its standard input, its standard output in aOutput. False,
// with sError saying why, when it cannot start, fails or exits non-zero.
bool runReferenceTool(const QString& sProgram, const QStringList& lArguments, const QByteArray& aInput,
                      QByteArray& aOutput, QString& sError);

// One call of a Python function: its argument text and its input bytes.
struct TPythonJob
{
    QString sArgument;
    QByteArray aInput;
};

// Runs one python3 process in which sFunction, the source of
// "def transform(data, argument):" returning bytes, is applied to every job in
// turn; the results come back in lOutputs in the same order. The modules sys, zlib
// and lzma are imported. One process for many vectors keeps the interpreter's
// start-up out of the test time.
bool runPythonJobs(const QString& sFunction, const QList<TPythonJob>& lJobs, QList<QByteArray>& lOutputs,
                   QString& sError);
