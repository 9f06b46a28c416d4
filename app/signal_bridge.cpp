#include "signal_bridge.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel {
namespace {

// The write end of the socket pair. A signal handler can reach nothing
// else, so this one descriptor is the program's only global state.
int g_signalWriteEnd = -1;

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalWriteEnd, &byte, 1);
}

} // namespace

SignalBridge::SignalBridge(std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) return;
    g_signalWriteEnd = ends[0];
    m_notifier = std::make_unique<QSocketNotifier>(ends[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this, readEnd = ends[1]] {
        char bytes[16];
        while (::read(readEnd, bytes, sizeof bytes) > 0) {
        }
        if (m_onSignal) m_onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

SignalBridge::~SignalBridge() {
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    if (m_notifier) {
        ::close(static_cast<int>(m_notifier->socket()));
        ::close(g_signalWriteEnd);
        g_signalWriteEnd = -1;
    }
}

} // namespace vantrel
