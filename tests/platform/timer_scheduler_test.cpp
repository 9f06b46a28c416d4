#include "timer_control.h"
#include "timer_scheduler.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr int64_t kMs = 1'000'000;
constexpr double kSixtyHzMs = 1000.0 / 60.0;

struct Counted {
    explicit Counted(const char* name, int interval) : timer(TimerDesign{name, interval, true}) {
        timer.onTimer = [this] { ++ticks; };
    }
    Timer timer;
    int ticks = 0;
};

// Moves the clock in 1 ms steps for a while, running whatever falls due.
void RunFor(ManualClock& clock, TimerScheduler& scheduler, int64_t milliseconds) {
    for (int64_t elapsed = 0; elapsed < milliseconds; ++elapsed) {
        clock.Advance(kMs);
        scheduler.RunDue();
    }
}

TEST(TimerScheduler, OneMillisecondTimerTicksOncePerDisplayRefresh) {
    ManualClock clock;
    TimerScheduler scheduler(clock, kSixtyHzMs);
    Counted scroll("tmrScroll", 1), circle("tmrCircle", 50), replay("tmrReplay", 500);
    scheduler.Add(replay.timer);
    scheduler.Add(scroll.timer);
    scheduler.Add(circle.timer);
    RunFor(clock, scheduler, 60'000);
    EXPECT_EQ(scroll.ticks, 3600); // no drift over a minute of 60 Hz frames
    EXPECT_EQ(circle.ticks, 1200);
    EXPECT_EQ(replay.ticks, 120);
}

TEST(TimerScheduler, AStallIsNotReplayedInABurst) {
    ManualClock clock;
    TimerScheduler scheduler(clock, kSixtyHzMs);
    Counted scroll("tmrScroll", 1);
    scheduler.Add(scroll.timer);
    clock.Advance(5000 * kMs); // the machine slept
    EXPECT_EQ(scheduler.RunDue(), 1);
    EXPECT_EQ(scheduler.RunDue(), 0);
    RunFor(clock, scheduler, 1000);
    EXPECT_EQ(scroll.ticks, 1 + 60);
}

TEST(TimerScheduler, NothingFiresWhileHeldAndTicksResumeAfterwards) {
    ManualClock clock;
    TimerScheduler scheduler(clock, kSixtyHzMs);
    Counted scroll("tmrScroll", 1), replay("tmrReplay", 500);
    scheduler.Add(scroll.timer);
    scheduler.Add(replay.timer);
    scheduler.Hold();
    RunFor(clock, scheduler, 3000);
    EXPECT_EQ(scroll.ticks + replay.ticks, 0);
    scheduler.Release();
    EXPECT_EQ(scheduler.RunDue(), 2); // each once, not the missed ones
    RunFor(clock, scheduler, 1000);
    EXPECT_EQ(replay.ticks, 1 + 2);
}

TEST(TimerScheduler, AHandlerMayRemoveTimersDueInTheSameRound) {
    ManualClock clock;
    TimerScheduler scheduler(clock, kSixtyHzMs);
    Counted first("first", 20), second("second", 20);
    first.timer.onTimer = [&] {
        ++first.ticks;
        scheduler.Remove(second.timer);
    };
    scheduler.Add(first.timer);
    scheduler.Add(second.timer);
    RunFor(clock, scheduler, 100);
    EXPECT_GT(first.ticks, 0);
    EXPECT_EQ(second.ticks, 0);
}

} // namespace
} // namespace vantrel
