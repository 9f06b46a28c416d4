#include "program_harness.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vantrel {
namespace {

using testing::Program;

// The whole program with no window, for one full loop of the roll: every
// scroll tick composes a frame, circle ticks add to the backdrop, and the
// track restarts whenever it has played to its end.
TEST(Smoke, AFullRollPeriodRunsWithoutAWindow) {
    Program program;
    StartUp(program.runtime, program.forms);
    FrmCredits& scene = program.forms.frmCredits;
    FrmDisplay& display = program.forms.frmDisplay;
    const Label& title = scene.LabelNamed("Label1");
    const uint64_t drawsAfterStartUp = program.runtime.random().drawCount();

    int scrollTicks = 0, wraps = 0, framesSeen = 0;
    float previousTop = title.Top();
    while (wraps < 2) {
        program.RunFor(1);
        if (title.Top() == previousTop) continue;
        ++scrollTicks;
        wraps += title.Top() > previousTop;
        // The frame of this tick printed the title last, where it now stands.
        framesSeen += display.CurrentY() == title.Top();
        previousTop = title.Top();
        ASSERT_LT(scrollTicks, 10000) << "the roll never came round";
    }
    EXPECT_EQ(framesSeen, scrollTicks);
    const uint64_t circlesAdded = (program.runtime.random().drawCount() - drawsAfterStartUp) / 5;
    EXPECT_NEAR(static_cast<double>(circlesAdded), scrollTicks / 3.0, 3.0); // one circle every 50 ms
    EXPECT_TRUE(program.messages.shown.empty());

    const int restarts = program.trace.Count("track played from 0");
    const double seconds = scrollTicks / 60.0;
    EXPECT_NEAR(static_cast<double>(restarts), seconds / 2.5, 3.0); // a 2-second track, polled every 500 ms
}

} // namespace
} // namespace vantrel
