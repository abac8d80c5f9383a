#pragma once

#include <QtGlobal>

// The readers log what they reject; at fuzzing speed that would be all the
// fuzzer does.
inline void silenceQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}
