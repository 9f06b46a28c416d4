#pragma once

#include "clock.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vantrel {

class FramePacer;
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
//
// Where the window system reports the display's refreshes, a frame pacer
// takes over the timers whose period is one frame: they fire once for each
// of its ticks (RunFrame), locked to the display, and no longer on the wall
// clock. The slower timers keep their wall-clock periods.
class TimerScheduler {
public:
    TimerScheduler(const Clock& clock, double framePeriodMs);

    const Clock& WallClock() const { return *m_clock; }
    void SetFramePeriod(double framePeriodMs);

    void Add(Timer& timer);
    void Remove(Timer& timer);

    // Fires, in due order, every timer due at the clock's current time, each
    // at most once. Returns how many fired.
    int RunDue();

    // From now on the frame timers fire on the ticks of `pacer`; one pacer
    // at a time, the first attached. Detaching it hands them back to the
    // wall clock, one period from now.
    void AttachFramePacer(const FramePacer& pacer);
    void DetachFramePacer(const FramePacer& pacer);
    // Fires every frame timer once, if `pacer` is the attached one and
    // delivery is not held. Returns how many fired.
    int RunFrame(const FramePacer& pacer);

    // When the next wall-clock timer falls due, if any is enabled.
    std::optional<int64_t> NextDueNs() const;

    void Hold() { ++m_holds; }
    void Release();
    bool Held() const { return m_holds > 0; }

    // Every timer's next event falls one full period from now, as for a
    // timer just enabled. Used when a failure report is dismissed: a timer
    // that failed is not due again the moment its report goes, so a failure
    // that recurs on every tick leaves the program a whole period to run
    // between its reports.
    void RestartPeriods();

    // Told whenever the next due time may have changed, so that a driver can
    // re-arm its wake-up.
    std::function<void()> onScheduleChanged;

private:
    struct Entry {
        Timer* timer = nullptr;
        int64_t periodNs = 0;
        int64_t dueNs = 0;
        bool framePaced = false; // fired by RunFrame, not by the wall clock
    };
    int64_t PeriodOf(const Timer& timer) const;
    void Repace();
    void Fire(const std::vector<Timer*>& due, int& fired);
    void Changed() const;

    const Clock* m_clock;
    int64_t m_framePeriodNs;
    std::vector<Entry> m_entries; // in the order the timers were added
    const FramePacer* m_framePacer = nullptr;
    std::vector<Timer*> m_frameDue; // kept, so that a frame allocates nothing
    bool m_inFrame = false;
    int m_holds = 0;
};

} // namespace vantrel
