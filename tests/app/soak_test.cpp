// A day of the program's life on a manual clock, at a small surface size:
// every scroll tick, circle tick and replay poll at its own cadence.

#include "headless_program.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

#ifndef VANTREL_SOAK_HOURS
#define VANTREL_SOAK_HOURS 24
#endif

namespace vantrel {
namespace {

constexpr int64_t kSoakMs = int64_t{VANTREL_SOAK_HOURS} * 60 * 60 * 1000;
constexpr int64_t kTicks = kSoakMs * 60 / 1000; // one a frame at 60 Hz
constexpr int64_t kTicksPerHour = 60 * 60 * 60;

// Resident memory of this process in kilobytes.
long ResidentKb() {
    long sizePages = 0, residentPages = 0;
    std::ifstream("/proc/self/statm") >> sizePages >> residentPages;
    return residentPages * (::sysconf(_SC_PAGESIZE) / 1024);
}

TEST(Soak, ADayOfTicksKeepsTheRateTheRollAndTheMemory) {
    HeadlessProgram program(QSize(64, 48), 1.0, VANTREL_FIXTURE_DIR);
    program.StartUp();
    const Label& title = program.forms.frmCredits.LabelNamed("Label1");
    int64_t framesComposed = 0;
    float lowestTop = title.Top(), highestTop = title.Top();
    [[maybe_unused]] long residentAfterAnHour = 0;
    for (int64_t tick = 0; tick < kTicks; ++tick) {
        program.RunScrollTicks(1);
        framesComposed += program.forms.frmDisplay.CurrentY() == title.Top(); // the title is printed last
        lowestTop = std::min(lowestTop, title.Top()), highestTop = std::max(highestTop, title.Top());
        if (tick == kTicksPerHour - 1) residentAfterAnHour = ResidentKb();
    }
    EXPECT_EQ(framesComposed, kTicks);
    EXPECT_NEAR(program.clock.NowNs() / 1e6, kSoakMs, 20.0); // no drift against the clock
    EXPECT_TRUE(lowestTop >= -32768 && highestTop <= 2 * 32768) << lowestTop << " to " << highestTop;
    EXPECT_TRUE(program.messages.shown.empty());
#if !defined(__SANITIZE_ADDRESS__)
    // The address sanitizer keeps freed memory in quarantine; without it, a
    // day of running must not need more memory than its first hour.
    EXPECT_LT(ResidentKb() - residentAfterAnHour, 1024) << "resident memory grew";
#endif
}

} // namespace
} // namespace vantrel
