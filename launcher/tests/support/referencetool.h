#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs an independent program (python3, lzip, xz) that makes or checks test
// vectors: aInput on its standard input, its standard output in aOutput. False,
// with sError saying why, when it cannot start, fails or exits non-zero.
bool runReferenceTool(const QString& sProgram, const QStringList& lArguments, const QByteArray& aInput,
                      QByteArray& aOutput, QString& sError);
