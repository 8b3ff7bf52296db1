#include "app/stop_signals.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {

int g_pair[2] = { -1, -1 };

extern "C" void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
}

void catchSignals(bool catching)
{
    struct sigaction action {};
    action.sa_handler = catching ? onStopSignal : SIG_DFL;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0) {
        return; // the signals keep their default: the program ends as before
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pair[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::readSignal);
    catchSignals(true);
}

StopSignals::~StopSignals()
{
    if (!m_notifier) {
        return;
    }
    catchSignals(false);
    m_notifier.reset();
    ::close(g_pair[0]);
    ::close(g_pair[1]);
    g_pair[0] = g_pair[1] = -1;
}

void StopSignals::readSignal()
{
    char byte = 0;
    if (::read(g_pair[1], &byte, 1) == 1) {
        emit stopAsked();
    }
}

} // namespace app
