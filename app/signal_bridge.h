#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace vantrel {

// Turns SIGTERM and SIGINT into a call on the event loop's thread, so that
// ending the program from outside runs the same orderly shutdown as closing
// its window. The signal handler only sets a flag and writes a byte to a
// socket; where no socket can be had, a timer looks at the flag instead.
class SignalBridge final : public QObject {
public:
    explicit SignalBridge(std::function<void()> onSignal);
    ~SignalBridge() override;

private:
    void Deliver();

    std::function<void()> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QTimer> m_fallback;
};

} // namespace vantrel
