#include "headless_program.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// Where the text is: the pure white pixels of a frame.
std::vector<bool> WhiteMask(const QImage& frame) {
    std::vector<bool> mask;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) mask.push_back(frame.pixel(x, y) == 0xFFFFFFFF);
    }
    return mask;
}

int TicksToNextWrap(SnapshotRun& run) {
    const Label& title = run.scene().LabelNamed("Label1");
    for (int ticks = 1;; ++ticks) {
        const float before = title.Top();
        run.RunScrollTicks(1);
        if (title.Top() > before) return ticks;
    }
}

TEST(Snapshot, OneRollPeriodAfterAWrapTheLinesStandWhereTheyWere) {
    testing::EnsureApplication();
    SnapshotRun run(QSize(320, 240), 1.0, VANTREL_FIXTURE_DIR);
    TicksToNextWrap(run);
    run.RunScrollTicks(550); // the roll back on screen
    const QImage before = run.frame().copy();
    TicksToNextWrap(run);
    run.RunScrollTicks(550); // one whole period after the frame above
    EXPECT_NE(run.frame(), before); // the backdrop has grown meanwhile
    const std::vector<bool> lines = WhiteMask(before);
    EXPECT_EQ(WhiteMask(run.frame()), lines);
    EXPECT_GT(std::count(lines.begin(), lines.end(), true), 100);
}

TEST(Snapshot, TheSameRunComposesTheSameFrame) {
    testing::EnsureApplication();
    SnapshotRun first(QSize(200, 150), 2.0, VANTREL_FIXTURE_DIR);
    SnapshotRun second(QSize(200, 150), 2.0, VANTREL_FIXTURE_DIR);
    first.RunScrollTicks(700);
    second.RunScrollTicks(700);
    EXPECT_EQ(first.frame().size(), QSize(400, 300));
    EXPECT_EQ(first.frame(), second.frame());
}

} // namespace
} // namespace vantrel
