#include "qt_timer_driver.h"

#include "clock.h"
#include "timer_scheduler.h"

#include <algorithm>

namespace vantrel {

QtTimerDriver::QtTimerDriver(TimerScheduler& scheduler, const Clock& clock)
    : m_scheduler(scheduler), m_clock(clock) {
    m_wakeUp.setSingleShot(true);
    m_wakeUp.setTimerType(Qt::PreciseTimer);
    connect(&m_wakeUp, &QTimer::timeout, this, [this] {
        m_scheduler.RunDue();
        Rearm();
    });
    m_scheduler.onScheduleChanged = [this] { Rearm(); };
    Rearm();
}

QtTimerDriver::~QtTimerDriver() { m_scheduler.onScheduleChanged = nullptr; }

void QtTimerDriver::Rearm() {
    const auto due = m_scheduler.NextDueNs();
    if (!due || m_scheduler.Held()) {
        m_wakeUp.stop();
        return;
    }
    const int64_t waitNs = std::max<int64_t>(0, *due - m_clock.NowNs());
    // Qt's timers count whole milliseconds: wake at the start of the
    // millisecond the timer falls due in, and let the scheduler decide.
    m_wakeUp.start(static_cast<int>(std::min<int64_t>((waitNs + 999'999) / 1'000'000, 1'000'000)));
}

} // namespace vantrel
