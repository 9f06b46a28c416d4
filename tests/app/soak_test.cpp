// A day of the program's life on a manual clock, at a small surface size:
// every scroll tick, circle tick and replay poll at its own cadence.

#include "program_harness.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace vantrel {
namespace {

using testing::Program;

constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;

// Resident memory of this process in kilobytes.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> value) return value;
        status.ignore(4096, '\n');
    }
    return 0;
}

TEST(Soak, ADayOfTicksKeepsThePeriodThePositionsAndTheMemory) {
    Program program(QSize(64, 48));
    program.trace.keepSteps = false;
    StartUp(program.runtime, program.forms);
    FrmCredits& scene = program.forms.frmCredits;
    const Label& title = scene.LabelNamed("Label1");
    TimerScheduler& timers = program.runtime.timers();

    int64_t scrollTicks = 0, framesComposed = 0, lastWrap = -1;
    std::set<int64_t> periods;
    float lowestTop = title.Top(), highestTop = title.Top();
    [[maybe_unused]] long residentAfterAnHour = 0; // read only without the address sanitizer
    const int64_t end = program.clock.NowNs() + kDayMs * 1'000'000;
    while (true) {
        const auto due = timers.NextDueNs();
        ASSERT_TRUE(due.has_value());
        if (*due > end) break;
        program.clock.Set(*due);
        const float before = title.Top();
        timers.RunDue();
        if (title.Top() == before) continue;
        ++scrollTicks;
        framesComposed += program.forms.frmDisplay.CurrentY() == title.Top();
        if (title.Top() > before) {
            if (lastWrap >= 0) periods.insert(scrollTicks - lastWrap);
            lastWrap = scrollTicks;
        }
        lowestTop = std::min(lowestTop, title.Top());
        highestTop = std::max(highestTop, title.Top());
        if (scrollTicks == 60 * 60 * 60) residentAfterAnHour = ResidentKb();
    }

    EXPECT_EQ(scrollTicks, kDayMs * 60 / 1000);
    EXPECT_EQ(framesComposed, scrollTicks);
    EXPECT_EQ(periods.size(), 1u) << "the roll's period drifted";
    EXPECT_GE(lowestTop, -32768);
    EXPECT_LE(highestTop, 2 * 32768);
    EXPECT_TRUE(program.messages.shown.empty());
    const int restarts = program.trace.Count("track played from 0");
    EXPECT_NEAR(static_cast<double>(restarts), kDayMs / 2500.0, kDayMs / 2500.0 * 0.01);
#if !defined(__SANITIZE_ADDRESS__)
    // The address sanitizer keeps freed memory in quarantine; without it,
    // a day of running must not need more memory than its first hour.
    EXPECT_LT(ResidentKb() - residentAfterAnHour, 1024) << "resident memory grew";
#endif
}

} // namespace
} // namespace vantrel
