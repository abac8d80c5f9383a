#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// File and console helpers shared by the commands of corvane-publish.

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The whole file; throws std::runtime_error with the I/O error text.
QByteArray readWholeFile(const QString& sPath);
// Replaces the file in one step: on any failure it throws std::runtime_error and
// the file keeps its previous contents (or stays absent).
void writeFileAtomically(const QString& sPath, const QByteArray& aData);

// One line on standard error.
void printError(const QString& sText);
// A usage error: the reason, then the command's usage, on standard error; returns kExitUsage.
int usageError(const QString& sReason, const QString& sUsage);
// Text on standard output.
void printOut(const QString& sText);
// True when the arguments ask for help ("--help" or "-h").
bool wantsHelp(const QStringList& lArguments);
