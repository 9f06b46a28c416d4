#include "signal_bridge.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel {
namespace {

// A signal handler can reach only global state: the write end of the
// socket pair, and the flag the fallback looks at.
int g_signalWriteEnd = -1;
volatile std::sig_atomic_t g_signalled = 0;

// How often the fallback looks for a signal that came.
constexpr int kFallbackLookMs = 50;

void OnSignal(int) {
    g_signalled = 1;
    const char byte = 1;
    if (g_signalWriteEnd >= 0 && ::write(g_signalWriteEnd, &byte, 1) < 0) {
        // A full socket already holds a wake-up.
    }
}

void Report(const char* what) {
    std::fprintf(stderr, "vantrel-credits: %s (%s)\n", what, std::strerror(errno));
}

} // namespace

SignalBridge::SignalBridge(std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) == 0) {
        g_signalWriteEnd = ends[0];
        m_notifier = std::make_unique<QSocketNotifier>(ends[1], QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this, readEnd = ends[1]] {
            char bytes[16];
            while (::read(readEnd, bytes, sizeof bytes) > 0) {
            }
            Deliver();
        });
    } else {
        // Without the socket the signal is still heard, a moment later.
        Report("no socket for SIGTERM and SIGINT; looking for them every 50 ms instead");
        m_fallback = std::make_unique<QTimer>();
        connect(m_fallback.get(), &QTimer::timeout, this, [this] { Deliver(); });
        m_fallback->start(kFallbackLookMs);
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const auto& [signal, name] : {std::pair{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}})
        if (::sigaction(signal, &action, nullptr) != 0) {
            const std::string what = std::string("cannot handle ") + name + "; it ends the program at once";
            Report(what.c_str());
        }
}

void SignalBridge::Deliver() {
    if (!g_signalled) return;
    g_signalled = 0;
    if (m_onSignal) m_onSignal();
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
