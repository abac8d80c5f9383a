#pragma once

#include <QString>
#include <QtGlobal>

namespace velmar::launcher {

// One log line: "yyyy-MM-dd hh:mm:ss (file:line) Level: message".
QString formatLogLine(QtMsgType eType, const QMessageLogContext& oContext, const QString& sMessage);

// Writes every message of every thread to the log file, whole lines at a time; a
// fatal message is written and flushed before the process aborts.
void messageHandler(QtMsgType eType, const QMessageLogContext& oContext, const QString& sMessage);

// Opens "<executable name>.log" in sDirectory, truncated, and installs the
// handler. A failure is logged as a warning and the launcher goes on without a file.
void setupLogging(const QString& sDirectory, const QString& sExecutableFileName);

// Path of the log file in use, empty when none is open.
QString logFilePath();
// Closes the log; later messages go to standard error. A launcher that hands
// over to its updated self stops here, before the new one starts the log afresh.
void stopLogging();

} // namespace velmar::launcher
