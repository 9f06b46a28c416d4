#include "credits_design.h"
#include "test_support.h"
#include "text_metrics.h"

#include <gtest/gtest.h>
#include <set>

namespace vantrel {
namespace {

class CreditsDesignTest : public ::testing::Test {
protected:
    CreditsDesignTest() { scene.Load(); }
    testing::HeadlessRuntime headless{QSize(1920, 1080)};
    Form scene{headless.runtime, CreditsDesign()};
};

TEST_F(CreditsDesignTest, ControlsComeInTheStoredOrderAndOnlyLabelsPassTheLabelTest) {
    const auto& controls = scene.Controls();
    ASSERT_EQ(controls.size(), 28u);
    EXPECT_EQ(controls[0]->Name(), "tmrReplay");
    EXPECT_EQ(controls[1]->Name(), "tmrScroll");
    EXPECT_EQ(controls[2]->Name(), "tmrCircle");
    for (int index = 3; index < 28; ++index) {
        EXPECT_EQ(controls[static_cast<size_t>(index)]->Name(), "Label" + std::to_string(28 - index));
        EXPECT_NE(controls[static_cast<size_t>(index)]->AsLabel(), nullptr);
    }
    for (int index = 0; index < 3; ++index) EXPECT_EQ(controls[static_cast<size_t>(index)]->AsLabel(), nullptr);
    EXPECT_EQ(scene.TimerNamed("tmrReplay").Interval(), 500);
    EXPECT_EQ(scene.TimerNamed("tmrScroll").Interval(), 1);
    EXPECT_EQ(scene.TimerNamed("tmrCircle").Interval(), 50);
}

TEST_F(CreditsDesignTest, EveryLineIsWhiteBoldArial48AndOnlyTheHeadingsAreItalic) {
    const std::set<std::string> headings{"Label2", "Label4", "Label6", "Label9", "Label10", "Label24"};
    for (Control* control : scene.Controls()) {
        Label* label = control->AsLabel();
        if (label == nullptr) continue;
        EXPECT_EQ(label->ForeColor(), 0x00FFFFFFu);
        EXPECT_EQ(label->Font().Name(), "Arial");
        EXPECT_EQ(label->Font().Size(), 48.0f);
        EXPECT_TRUE(label->Font().Bold());
        EXPECT_EQ(label->Font().Italic(), headings.contains(label->Name())) << label->Name();
    }
}

TEST_F(CreditsDesignTest, HighestAndLowestDesignedLines) {
    float highest = 1e9f, lowest = -1e9f;
    std::string highestName, lowestName;
    for (Control* control : scene.Controls()) {
        Label* label = control->AsLabel();
        if (label == nullptr) continue;
        if (label->Top() < highest) highest = label->Top(), highestName = label->Name();
        if (label->Top() > lowest) lowest = label->Top(), lowestName = label->Name();
    }
    EXPECT_EQ(highestName, "Label1");
    EXPECT_EQ(highest, 480.0f);
    EXPECT_EQ(lowestName, "Label22");
    EXPECT_EQ(lowest, 29400.0f);
}

TEST_F(CreditsDesignTest, AutoSizeFitsEachLabelToItsCaptionInTheResolvedFace) {
    const Label& title = scene.LabelNamed("Label1");
    const TextExtent extent = MeasureText("Vantrel Credits", FontAttributes{"Arial", 48, true}, 96);
    EXPECT_NEAR(title.Width(), extent.width * 15, 0.5);
    EXPECT_NEAR(title.Height(), extent.height * 15, 0.5);
    EXPECT_NE(title.Width(), 9435); // the stored width was made for another caption
}

} // namespace
} // namespace vantrel
