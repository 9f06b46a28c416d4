#include "credits_design.h"
#include "failure_report.h"
#include "roll_layout.h"
#include "scroll_tick.h"
#include "test_support.h"
#include "text_metrics.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr float kSceneHeight = 1080 * 15; // twips

LabelDesign Line(const char* name, float top, float height) {
    return LabelDesign{name, name, 0, top, 3000, height, kWhite, FontAttributes{"Arial", 12}, false};
}

// The scene's design with these labels in place of the credit lines.
FormDesign Roll(std::vector<LabelDesign> labels) {
    FormDesign design = CreditsDesign();
    design.controls.resize(3); // the timers
    for (LabelDesign& label : labels) design.controls.emplace_back(std::move(label));
    return design;
}

struct SceneTest : ::testing::Test {
    Form& Load(FormDesign design) {
        scene = std::make_unique<Form>(headless.runtime, std::move(design));
        scene->Load();
        return *scene;
    }
    float HighestTop() const {
        float highest = INFINITY;
        for (Control* control : scene->Controls()) highest = std::min(highest, control->AsLabel() ? control->AsLabel()->Top() : INFINITY);
        return highest;
    }
    testing::HeadlessRuntime headless{QSize(1920, 1080)};
    std::unique_ptr<Form> scene;
};

TEST_F(SceneTest, ABottomEdgeExactlyAtZeroWrapsTheRollInThatVeryTick) {
    Form& roll = Load(Roll({Line("A", 0, 300), Line("B", 600, 300)}));
    for (int tick = 1; tick < 60; ++tick) MoveRoll(roll);
    EXPECT_EQ(roll.LabelNamed("B").Top() + 300, 15); // 15 twips still below the top
    MoveRoll(roll);
    EXPECT_EQ(roll.LabelNamed("A").Top(), kSceneHeight + 6000);
    EXPECT_EQ(roll.LabelNamed("B").Top(), kSceneHeight + 6000 + 600);
}

// The period of the roll: its extent plus the scene's height plus the gap.
TEST_F(SceneTest, TheRollComesRoundWithAFixedPeriod) {
    Form& roll = Load(CreditsDesign());
    PlaceRollBelowScene(roll);
    auto ticksToNextWrap = [&] {
        for (int tick = 1;; ++tick) {
            const float before = HighestTop();
            MoveRoll(roll);
            if (HighestTop() > before) return tick;
        }
    };
    ticksToNextWrap();
    EXPECT_NEAR(HighestTop(), kSceneHeight + 6000, 0.5);
    const Label& lowest = roll.LabelNamed("Label22");
    const double extent = lowest.Top() + lowest.Height() - HighestTop();
    EXPECT_EQ(ticksToNextWrap(), static_cast<int>(std::ceil((extent + kSceneHeight + 6000) / 15.0)));
}

// Past -32768.5 twips the smallest Top no longer fits 16 bits: the tick ends
// there, with the labels before it moved. -32768.5 itself rounds to even.
TEST_F(SceneTest, ATopBelowTheSixteenBitRangeEndsTheTick) {
    for (const auto& [top, reports] : {std::pair{-32753.5f, 0u}, {-32753.6f, 1u}}) {
        Form& roll = Load(Roll({Line("A", 100, 300), Line("B", top, 99999), Line("C", 500, 300)}));
        Trapped(headless.runtime, "tmrScroll_Timer", [&] { MoveRoll(roll); });
        EXPECT_EQ(headless.messages.shown.size(), reports);
        EXPECT_EQ(roll.LabelNamed("A").Top(), 85);
        EXPECT_EQ(roll.LabelNamed("C").Top(), reports ? 500 : 485);
    }
    EXPECT_EQ(headless.messages.shown[0].prompt, "Unexpected error in procedure: tmrScroll_Timer\r\nError #6: Overflow");
}

TEST(RollLayout, CentresEveryLineByItsFittedWidthAndLeavesTopAlone) {
    testing::HeadlessRuntime headless{QSize(320, 240)};
    Form scene(headless.runtime, CreditsDesign());
    scene.Load();
    const Label& wide = scene.LabelNamed("Label18");
    const TextExtent extent = MeasureText("Italian - Pirrasol", FontAttributes{"Arial", 48, true}, 96);
    EXPECT_NEAR(wide.Width(), extent.width * 15, 0.5); // fitted to the caption at load
    EXPECT_NEAR(wide.Height(), extent.height * 15, 0.5);
    for (const QSize size : {QSize(320, 240), QSize(800, 600)}) {
        headless.hosts.created[0]->ResizeClient(size);
        CentreLabels(scene);
        EXPECT_FLOAT_EQ(wide.Left(), size.width() * 15 / 2.0f - wide.Width() / 2.0f);
    }
    EXPECT_EQ(wide.Top(), 11400);
}

} // namespace
} // namespace vantrel
