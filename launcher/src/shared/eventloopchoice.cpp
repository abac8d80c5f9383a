#include "eventloopchoice.h"

#include <QByteArray>

namespace shared {

namespace {

constexpr char kVariable[] = "QT_NO_GLIB";
bool s_bChosenHere = false;

} // namespace

void useQtEventLoops()
{
    if (qEnvironmentVariableIsSet(kVariable))
        return;
    qputenv(kVariable, QByteArrayLiteral("1"));
    s_bChosenHere = true;
}

void forgetEventLoopChoice()
{
    if (s_bChosenHere)
        qunsetenv(kVariable);
    s_bChosenHere = false;
}

} // namespace shared
