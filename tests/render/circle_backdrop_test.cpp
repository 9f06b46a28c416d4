#include "circle_backdrop.h"
#include "credits_design.h"
#include "failure_report.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr float kJustBelowOne = 1.0f - 1.0f / (1 << 24);

int Red(OleColour colour) { return colour & 0xFF; }
int Green(OleColour colour) { return (colour >> 8) & 0xFF; }
int Blue(OleColour colour) { return (colour >> 16) & 0xFF; }

struct CircleBackdropTest : ::testing::Test {
    CircleBackdropTest() { scene.Load(); }
    testing::HeadlessRuntime headless{QSize(200, 100)};
    Form scene{headless.runtime, CreditsDesign()};
    RandomSource& random = headless.runtime.random();
};

TEST_F(CircleBackdropTest, DrawsOfZeroGiveTheThinnestBlackDotAtTheCentre) {
    random.ScriptNextDraws({0, 0, 0, 0, 0});
    DrawRandomCircles(headless.runtime, scene);
    EXPECT_EQ(scene.DrawWidth(), 1);
    EXPECT_EQ(scene.ForeColor(), 0u);
    EXPECT_EQ(scene.surface().image().pixel(100, 50), qRgb(0, 0, 0)); // radius 0 is still drawn
    EXPECT_EQ(scene.surface().image().pixel(101, 50), qRgb(0, 0, 128));
}

TEST_F(CircleBackdropTest, DrawsOfOneHalfRoundColoursToEven) {
    random.ScriptNextDraws({0.5f, 0.5f, 0.5f, 0.5f, 0.5f});
    DrawRandomCircles(headless.runtime, scene);
    EXPECT_EQ(scene.DrawWidth(), 6);
    EXPECT_EQ(Red(scene.ForeColor()), 20);
    EXPECT_EQ(Green(scene.ForeColor()), 8);   // 7.5 goes to the even 8
    EXPECT_EQ(Blue(scene.ForeColor()), 128);  // 127.5 goes to the even 128
    EXPECT_EQ(scene.surface().image().pixel(100 + 50, 50), qRgb(20, 8, 128)); // radius half the height
}

TEST_F(CircleBackdropTest, DrawsJustBelowOneGiveTheWidestBrightestLargestCircle) {
    random.ScriptNextDraws({kJustBelowOne, kJustBelowOne, kJustBelowOne, kJustBelowOne, kJustBelowOne});
    DrawRandomCircles(headless.runtime, scene);
    EXPECT_EQ(scene.DrawWidth(), 10);
    EXPECT_EQ(scene.ForeColor(), MakeColour(40, 15, 255));
    // A radius just below the scene's height: cut off at the top edge.
    EXPECT_EQ(scene.surface().image().pixel(100 + 86, 0), qRgb(40, 15, 255));
    EXPECT_EQ(scene.surface().image().pixel(100 + 99, 50), qRgb(40, 15, 255));
}

TEST_F(CircleBackdropTest, EveryCircleTakesFiveDrawsAndStaysDarkAndBlue) {
    for (int circle = 1; circle <= 3000; ++circle) {
        DrawRandomCircles(headless.runtime, scene);
        ASSERT_EQ(random.drawCount(), 5u * circle);
        ASSERT_LE(Red(scene.ForeColor()), 40);
        ASSERT_LE(Green(scene.ForeColor()), 15);
        ASSERT_GE(scene.DrawWidth(), 1);
        ASSERT_LE(scene.DrawWidth(), 10);
    }
}

TEST_F(CircleBackdropTest, TwoFreshRunsPaintIdenticalBackdrops) {
    testing::HeadlessRuntime other{QSize(200, 100)};
    Form otherScene{other.runtime, CreditsDesign()};
    otherScene.Load();
    PaintInitialBackdrop(headless.runtime, scene);
    PaintInitialBackdrop(other.runtime, otherScene);
    EXPECT_EQ(scene.surface().image(), otherScene.surface().image());
    DrawRandomCircles(headless.runtime, scene);
    EXPECT_NE(scene.surface().image(), otherScene.surface().image());
    DrawRandomCircles(other.runtime, otherScene);
    EXPECT_EQ(scene.surface().image(), otherScene.surface().image());
}

TEST_F(CircleBackdropTest, AFailedCircleIsReportedAndTheOthersAreStillPainted) {
    headless.runtime.monitor().FailOnUse(Service::Circle, 7);
    PaintInitialBackdrop(headless.runtime, scene);
    EXPECT_EQ(random.drawCount(), 5u * kInitialCircles);
    ASSERT_EQ(headless.messages.shown.size(), 1u);
    EXPECT_EQ(headless.messages.shown[0].prompt.find("Unexpected error in procedure: DrawRandomCircles\r\n"), 0u);
}

TEST_F(CircleBackdropTest, AFailedClearSkipsEveryCircle) {
    headless.runtime.monitor().FailOnUse(Service::Clear, 1);
    Trapped(headless.runtime, "Form_Activate", [&] { PaintInitialBackdrop(headless.runtime, scene); });
    EXPECT_EQ(random.drawCount(), 0u);
    ASSERT_EQ(headless.messages.shown.size(), 1u);
    EXPECT_EQ(headless.messages.shown[0].prompt.find("Unexpected error in procedure: Form_Activate\r\n"), 0u);
}

TEST(CircleBackdrop, PenWidthIsInDevicePixelsAtAnyRatio) {
    testing::HeadlessRuntime headless{QSize(100, 50), 2.0};
    Form scene{headless.runtime, CreditsDesign()};
    scene.Load();
    headless.runtime.random().ScriptNextDraws({0.95f, 0.5f, 0.5f, 0.5f, 0.5f}); // width 10, radius 50 device px
    DrawRandomCircles(headless.runtime, scene);
    const QImage& image = scene.surface().image();
    int ring = 0;
    for (int x = 100; x < 200; ++x) ring += image.pixel(x, 50) == qRgb(20, 8, 128);
    EXPECT_EQ(ring, 11); // pixel centres within 5 of the path, both ends included
}

TEST(CircleBackdrop, SceneOfZeroHeightGetsCirclesOfRadiusZero) {
    testing::HeadlessRuntime headless{QSize(200, 0)};
    Form scene{headless.runtime, CreditsDesign()};
    scene.Load();
    PaintInitialBackdrop(headless.runtime, scene);
    EXPECT_TRUE(headless.messages.shown.empty());
    EXPECT_EQ(headless.runtime.random().drawCount(), 5u * kInitialCircles);
}

} // namespace
} // namespace vantrel
