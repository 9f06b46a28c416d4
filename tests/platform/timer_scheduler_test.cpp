#include "message_box.h"
#include "runtime.h"
#include "timer_control.h"
#include "timer_scheduler.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(TimerScheduler, NothingFiresWhileHeldAndTicksResumeAfterwardsInDueOrder) {
    ManualClock clock;
    TimerScheduler scheduler(clock, kSixtyHzMs);
    Counted scroll("tmrScroll", 1), replay("tmrReplay", 500);
    std::string order;
    scroll.timer.onTimer = [&] { ++scroll.ticks, order += 's'; };
    replay.timer.onTimer = [&] { ++replay.ticks, order += 'r'; };
    scheduler.Add(replay.timer);
    scheduler.Add(scroll.timer);
    scheduler.Hold();
    RunFor(clock, scheduler, 3000);
    EXPECT_EQ(scroll.ticks + replay.ticks, 0);
    scheduler.Release();
    EXPECT_EQ(scheduler.RunDue(), 2); // each once, not the missed ones
    EXPECT_EQ(order, "sr");           // the frame before the poll, which was due later
    RunFor(clock, scheduler, 1000);
    EXPECT_EQ(replay.ticks, 1 + 2);
}

// A report that stays open for a while on the manual clock, as if someone
// read it before pressing OK.
class SlowReport final : public MessageBox {
public:
    SlowReport(ManualClock& clock, int64_t openMs) : m_clock(clock), m_openMs(openMs) {}
    void ShowCritical(const std::string&, const std::string&) override { m_clock.Advance(m_openMs * kMs); }

private:
    ManualClock& m_clock;
    int64_t m_openMs;
};

// A timer whose every tick fails is due again one whole period after its
// report is dismissed, however long the report was open.
TEST(TimerScheduler, AReportedTimerResumesOnePeriodAfterTheReportIsDismissed) {
    constexpr double kFrameMs = 10.0;
    struct Case {
        int intervalMs;
        int64_t openMs;
        int64_t expectedGapMs;
    };
    for (const Case& c : {Case{500, 300, 500}, Case{500, 2000, 500}, Case{500, 499, 500}, Case{50, 10, 50},
                          Case{1, 5, 10}}) {
        SCOPED_TRACE(::testing::Message() << c.intervalMs << " ms timer, report open " << c.openMs << " ms");
        ManualClock clock;
        SlowReport report(clock, c.openMs);
        Runtime runtime(Runtime::Services{&clock, &report, nullptr, nullptr, {}});
        runtime.timers().SetFramePeriod(kFrameMs);
        Counted failing("tmrReplay", c.intervalMs);
        int64_t dismissedAtNs = 0, nextAtNs = 0;
        failing.timer.onTimer = [&] {
            if (++failing.ticks == 2) nextAtNs = clock.NowNs();
            if (failing.ticks > 1) return;
            runtime.ShowCriticalMessage("Unexpected error in procedure: tmrReplay_Timer");
            dismissedAtNs = clock.NowNs();
        };
        runtime.timers().Add(failing.timer);
        RunFor(clock, runtime.timers(), c.intervalMs + c.openMs + 2 * c.expectedGapMs);
        ASSERT_GE(failing.ticks, 2);
        EXPECT_EQ((nextAtNs - dismissedAtNs) / kMs, c.expectedGapMs);
    }
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
