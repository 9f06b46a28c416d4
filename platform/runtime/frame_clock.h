#pragma once

#include <cstdint>

namespace vantrel {

// How many display refreshes one tick of the frame timers spans: the whole
// number that brings the tick rate nearest to 60 per second (1 at 60 or
// 75 Hz, 2 at 120 or 144 Hz, 4 at 240 Hz), so that one step a tick keeps
// the classic speed on any display. Nearness is measured as a ratio, and a
// tie goes to the faster rate. A rate that is not known counts as 60 Hz.
int RefreshesPerTick(double refreshHz);

// The frame timers' period where nothing reports the refreshes and the wall
// clock paces them: RefreshesPerTick refreshes of a screen that refreshes
// `screenRefreshHz` times a second, so that the roll keeps the speed of the
// paced paths. A rate that is not known (0, as Qt gives for some screens)
// counts as 60 Hz. In milliseconds.
double TimerTickPeriodMs(double screenRefreshHz);

// The display's refreshes as the window system reports them, counted
// (msc) and stamped (ust, microseconds), turned into ticks of the frame
// timers: one tick every RefreshesPerTick refreshes. The refresh rate is
// measured from the reports themselves, not taken from the screen's mode,
// which can be wrong. A refresh the machine misses delays the tick; the
// next tick is counted from the late one, so a late frame is shown one
// refresh longer and is never made up for by a burst of ticks.
class FrameClock {
public:
    // A refresh has been reported. Returns whether the frame timers tick at
    // this refresh.
    bool OnRefresh(uint64_t msc, uint64_t ustUs);

    // The refresh at which the next tick falls due.
    uint64_t NextTickMsc() const { return m_nextTickMsc; }
    // The refresh a frame composed at `nowUs` (on the reports' clock) is to
    // be shown at: the next tick's, or, when that has passed already (the
    // machine took too long), the next one to come, so that a late frame
    // still lands on a refresh and not somewhere in between.
    uint64_t TargetMsc(uint64_t nowUs) const;
    // 0 until the first measurement is done.
    double RefreshPeriodMs() const { return m_refreshPeriodUs / 1000.0; }
    double TickPeriodMs() const { return RefreshPeriodMs() * m_refreshesPerTick; }
    // The refreshes one tick spans, as measured so far.
    int TickRefreshes() const { return m_refreshesPerTick; }

private:
    void Measure(uint64_t msc, uint64_t ustUs);

    // Where the current measurement began.
    uint64_t m_reports = 0;
    uint64_t m_baseMsc = 0;
    uint64_t m_baseUstUs = 0;
    bool m_haveBase = false;
    double m_refreshPeriodUs = 0;
    int m_refreshesPerTick = 1;
    uint64_t m_nextTickMsc = 0;
    uint64_t m_lastMsc = 0;
    uint64_t m_lastUstUs = 0;
    bool m_started = false;
};

} // namespace vantrel
