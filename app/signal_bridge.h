#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace vantrel {

// Turns SIGTERM and SIGINT into a call on the event loop's thread, so that
// ending the program from outside runs the same orderly shutdown as closing
// its window. The signal handler only writes a byte to a socket.
class SignalBridge final : public QObject {
public:
    explicit SignalBridge(std::function<void()> onSignal);
    ~SignalBridge() override;

private:
    std::function<void()> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace vantrel
