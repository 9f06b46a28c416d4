#include "credits_design.h"
#include "failure_report.h"
#include "roll_layout.h"
#include "scroll_tick.h"
#include "test_support.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr float kSceneHeight = 1080 * 15;

LabelDesign Line(const char* name, float top, float height) {
    return LabelDesign{name, name, 0, top, 3000, height, kWhite, FontAttributes{"Arial", 12}, false};
}

FormDesign Roll(std::vector<LabelDesign> labels) {
    FormDesign design = CreditsDesign();
    design.controls.resize(3); // the timers
    for (LabelDesign& label : labels) design.controls.emplace_back(std::move(label));
    return design;
}

float HighestTop(const Form& scene) {
    float highest = INFINITY;
    for (Control* control : scene.Controls()) {
        if (Label* label = control->AsLabel()) highest = std::min(highest, label->Top());
    }
    return highest;
}

float LowestBottom(const Form& scene) {
    float lowest = -INFINITY;
    for (Control* control : scene.Controls()) {
        if (Label* label = control->AsLabel()) lowest = std::max(lowest, label->Top() + label->Height());
    }
    return lowest;
}

struct ScrollTickTest : ::testing::Test {
    testing::HeadlessRuntime headless{QSize(1920, 1080)};
};

TEST_F(ScrollTickTest, BottomEdgeExactlyAtZeroWrapsInThatVeryTick) {
    Form scene(headless.runtime, Roll({Line("A", 0, 300), Line("B", 600, 300)}));
    scene.Load();
    for (int tick = 1; tick < 60; ++tick) MoveRoll(scene);
    EXPECT_EQ(scene.LabelNamed("B").Top() + 300, 15); // its bottom edge is 15 twips below the top
    MoveRoll(scene);                             // now exactly at 0: gone, and the roll wraps
    EXPECT_EQ(scene.LabelNamed("A").Top(), kSceneHeight + 6000);
    EXPECT_EQ(scene.LabelNamed("B").Top(), kSceneHeight + 6000 + 600);
}

TEST_F(ScrollTickTest, FirstLineReachesTheBottomEdgeAfterItsDesignedTopInSteps) {
    Form scene(headless.runtime, CreditsDesign());
    scene.Load();
    PlaceRollBelowScene(scene);
    const Label& title = scene.LabelNamed("Label1");
    for (int tick = 0; tick < 480 / 15; ++tick) {
        EXPECT_GT(title.Top(), kSceneHeight);
        MoveRoll(scene);
    }
    EXPECT_EQ(title.Top(), kSceneHeight);
}

TEST_F(ScrollTickTest, TheRollLoopsWithItsExtentPlusSceneHeightPlusGapAsPeriod) {
    Form scene(headless.runtime, CreditsDesign());
    scene.Load();
    PlaceRollBelowScene(scene);
    auto ticksToNextWrap = [&] {
        for (int tick = 1;; ++tick) {
            const float before = HighestTop(scene);
            MoveRoll(scene);
            if (HighestTop(scene) > before) return tick;
        }
    };
    ticksToNextWrap();
    EXPECT_NEAR(HighestTop(scene), kSceneHeight + 6000, 0.5);
    const double extent = LowestBottom(scene) - HighestTop(scene);
    const int period = ticksToNextWrap();
    EXPECT_EQ(period, static_cast<int>(std::ceil((extent + kSceneHeight + 6000) / 15.0)));
    EXPECT_NEAR(HighestTop(scene), kSceneHeight + 6000, 0.5);
    EXPECT_EQ(ticksToNextWrap(), period);
}

TEST_F(ScrollTickTest, TopBelowTheSixteenBitRangeOverflowsAndEndsTheTick) {
    // In collection order: A moves, the tall B overflows, C is not reached.
    Form scene(headless.runtime, Roll({Line("A", 100, 300), Line("B", -32753.6f, 99999), Line("C", 500, 300)}));
    scene.Load();
    for (int tick = 1; tick <= 2; ++tick) {
        Trapped(headless.runtime, "tmrScroll_Timer", [&] { MoveRoll(scene); });
        EXPECT_EQ(scene.LabelNamed("A").Top(), 100 - 15 * tick);
        EXPECT_EQ(scene.LabelNamed("C").Top(), 500);
    }
    ASSERT_EQ(headless.messages.shown.size(), 2u); // one report on every tick
    EXPECT_EQ(headless.messages.shown[0].prompt,
              "Unexpected error in procedure: tmrScroll_Timer\r\nError #6: Overflow");
}

TEST_F(ScrollTickTest, TopOfExactlyMinusHalfPastTheLimitStillConverts) {
    Form scene(headless.runtime, Roll({Line("A", -32753.5f, 99999)}));
    scene.Load();
    Trapped(headless.runtime, "tmrScroll_Timer", [&] { MoveRoll(scene); });
    EXPECT_TRUE(headless.messages.shown.empty());
}

TEST(RollLayout, CentresOnTheSceneAndASecondResizeLeavesTopAlone) {
    testing::HeadlessRuntime headless{QSize(320, 240)};
    Form scene(headless.runtime, CreditsDesign());
    scene.Load();
    CentreLabels(scene);
    const Label& wide = scene.LabelNamed("Label18");
    EXPECT_FLOAT_EQ(wide.Left(), 320 * 15 / 2.0f - wide.Width() / 2.0f);
    EXPECT_LT(wide.Left(), 0); // wider than the scene: not clipped or shrunk
    headless.hosts.created[0]->ResizeClient(QSize(800, 600));
    CentreLabels(scene);
    EXPECT_FLOAT_EQ(wide.Left(), 800 * 15 / 2.0f - wide.Width() / 2.0f);
    EXPECT_EQ(wide.Top(), 11400);
}

} // namespace
} // namespace vantrel
