#include "credits_design.h"
#include "failure_report.h"
#include "scroll_tick.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr float kSceneHeight = 1080 * 15; // twips

LabelDesign Line(const char* name, float top, float height) {
    return LabelDesign{name, name, 0, top, 3000, height, kWhite, FontAttributes{"Arial", 12}, false};
}

struct SceneTest : ::testing::Test {
    // The scene, loaded with these labels in place of the credit lines.
    Form& Load(std::vector<LabelDesign> labels) {
        FormDesign design = CreditsDesign();
        design.controls.resize(3); // the timers
        for (LabelDesign& label : labels) design.controls.emplace_back(std::move(label));
        scene = std::make_unique<Form>(headless.runtime, std::move(design));
        scene->Load();
        return *scene;
    }
    testing::HeadlessRuntime headless{QSize(1920, 1080)};
    std::unique_ptr<Form> scene;
};

TEST_F(SceneTest, ABottomEdgeExactlyAtZeroWrapsTheRollInThatVeryTick) {
    Form& roll = Load({Line("A", 0, 300), Line("B", 600, 300)});
    for (int tick = 1; tick < 60; ++tick) MoveRoll(roll);
    EXPECT_EQ(roll.LabelNamed("B").Top() + 300, 15); // 15 twips still below the top
    MoveRoll(roll);
    EXPECT_EQ(roll.LabelNamed("A").Top(), kSceneHeight + 6000);
    EXPECT_EQ(roll.LabelNamed("B").Top(), kSceneHeight + 6000 + 600);
}

// Past -32768.5 twips the smallest Top no longer fits 16 bits: the tick ends
// there, with the labels before it moved. -32768.5 itself rounds to even.
TEST_F(SceneTest, ATopBelowTheSixteenBitRangeEndsTheTick) {
    for (const auto& [top, reports] : {std::pair{-32753.5f, 0u}, {-32753.6f, 1u}}) {
        Form& roll = Load({Line("A", 100, 300), Line("B", top, 99999), Line("C", 500, 300)});
        Trapped(headless.runtime, "tmrScroll_Timer", [&] { MoveRoll(roll); });
        EXPECT_EQ(headless.messages.shown.size(), reports);
        EXPECT_EQ(roll.LabelNamed("A").Top(), 85);
        EXPECT_EQ(roll.LabelNamed("C").Top(), reports ? 500 : 485);
    }
    EXPECT_EQ(headless.messages.shown[0].prompt, "Unexpected error in procedure: tmrScroll_Timer\r\nError #6: Overflow");
}

} // namespace
} // namespace vantrel
