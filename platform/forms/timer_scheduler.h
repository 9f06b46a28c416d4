#pragma once

#include "clock.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vantrel {

class Timer;

// Delivers the events of the loaded forms' timers on a drift-free clock.
//
// A timer is never served faster than the screen shows frames: its period is
// its interval, but at least one frame period, so the 1 ms scroll timer
// ticks once per display refresh. Due times advance by whole periods from
// the first one, so the rate does not drift with the handlers' run time;
// after a stall longer than a period (a suspended machine, a nested message
// loop) the timer resumes one period from now instead of replaying the
// missed ticks in a burst. While delivery is held (a failure report is open,
// start-up has not finished) nothing fires.
class TimerScheduler {
public:
    TimerScheduler(const Clock& clock, double framePeriodMs);

    void SetFramePeriod(double framePeriodMs);
    double framePeriodMs() const { return m_framePeriodNs / 1e6; }

    void Add(Timer& timer);
    void Remove(Timer& timer);

    // Fires, in due order, every timer due at the clock's current time, each
    // at most once. Returns how many fired.
    int RunDue();

    // When the next timer falls due, if any timer is enabled.
    std::optional<int64_t> NextDueNs() const;

    void Hold() { ++m_holds; }
    void Release();
    bool held() const { return m_holds > 0; }

    // Told whenever the next due time may have changed, so that a driver can
    // re-arm its wake-up.
    std::function<void()> onScheduleChanged;

private:
    struct Entry {
        Timer* timer = nullptr;
        int64_t periodNs = 0;
        int64_t dueNs = 0;
    };
    int64_t PeriodOf(const Timer& timer) const;
    void Changed() const;

    const Clock* m_clock;
    int64_t m_framePeriodNs;
    std::vector<Entry> m_entries; // in the order the timers were added
    int m_holds = 0;
};

} // namespace vantrel
