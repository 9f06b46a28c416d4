#pragma once

#include "frame_clock.h"

#include <cstdint>

namespace vantrel {

class TimerScheduler;

// Turns a display's refreshes into ticks of the frame timers, one tick every
// RefreshesPerTick refreshes, on every frame path: where the window system
// reports each refresh (X Present, Wayland frame callbacks) the refreshes
// themselves run the ticks on a FrameClock; where nothing reports them, the
// wall clock ticks once every N refreshes of the screen's own rate.
//
// Several windows may each have a pacer; the frame timers follow the first
// one started, until it stops.
class FramePacer {
public:
    explicit FramePacer(TimerScheduler& timers);
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // From now on the frame timers tick on this pacer's refreshes. Stop hands
    // them back to the wall clock, one period from now, and drops a tick
    // held back.
    void Start();
    void Stop();
    bool Started() const { return m_started; }
    // The refreshes stopped for a while (a compositor showed nothing of the
    // window): the rate is measured afresh from the next one on.
    void ForgetRate() { m_clock = FrameClock(); }

    // A refresh has been reported (ust on the timers' clock). When a tick
    // falls due at it, the frame timers fire now, or, while the path cannot
    // draw (the server still reads what the tick would draw on), once
    // RunHeldTick is called; a tick so delayed stands for the next
    // refresh's.
    void OnRefresh(uint64_t msc, uint64_t ustUs, bool canDraw = true);
    void RunHeldTick();

    // Where nothing reports the refreshes: the wall clock ticks the frame
    // timers once every N refreshes of a screen refreshing `refreshHz` times
    // a second (TimerTickPeriodMs).
    void FollowRefreshRate(double refreshHz);

    const FrameClock& RefreshClock() const { return m_clock; }
    // Now, on the timers' clock, in microseconds: the clock of the reports.
    uint64_t NowUs() const;

private:
    TimerScheduler& m_timers;
    FrameClock m_clock;
    bool m_started = false;
    bool m_tickHeld = false;   // a tick waits until the path can draw
    bool m_tickedLate = false; // such a tick ran since the last refresh
};

} // namespace vantrel
