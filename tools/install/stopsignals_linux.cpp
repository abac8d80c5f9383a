#include "stopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int s_aSockets[2] = {-1, -1};

void onStopSignal(int nSignal)
{
    const int nSaved = errno;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    const char cSignal = char(nSignal);
    // Async-signal-safe; a full socket means a stop is already on its way.
    [[maybe_unused]] const ssize_t nWritten = ::write(s_aSockets[0], &cSignal, 1);
    errno = nSaved;
}

} // namespace

TStopSignals::TStopSignals(QObject* pParent) : QObject(pParent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_aSockets) != 0)
        return;
    m_pNotifier = new QSocketNotifier(s_aSockets[1], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &TStopSignals::onReadable);
    struct sigaction oAction {};
    oAction.sa_handler = onStopSignal;
    sigemptyset(&oAction.sa_mask);
    oAction.sa_flags = SA_RESTART;
    sigaction(SIGINT, &oAction, nullptr);
    sigaction(SIGTERM, &oAction, nullptr);
}

TStopSignals::~TStopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void TStopSignals::onReadable()
{
    char cSignal = 0;
    if (::read(s_aSockets[1], &cSignal, 1) == 1)
        emit stopRequested(int(cSignal));
}
