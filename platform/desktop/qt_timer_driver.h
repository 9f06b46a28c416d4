#pragma once

#include <QObject>
#include <QTimer>

namespace vantrel {

class Clock;
class TimerScheduler;

// Runs a TimerScheduler from Qt's event loop: one precise single-shot timer
// that wakes the loop when the next form timer falls due.
class QtTimerDriver final : public QObject {
public:
    QtTimerDriver(TimerScheduler& scheduler, const Clock& clock);
    ~QtTimerDriver() override;

private:
    void Rearm();

    TimerScheduler& m_scheduler;
    const Clock& m_clock;
    QTimer m_wakeUp;
};

} // namespace vantrel
