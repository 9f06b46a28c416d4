#include "circle_backdrop.h"
#include "credits_design.h"
#include "frame_composition.h"
#include "frm_display.h"
#include "test_support.h"

#include <array>
#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr QRgb kNavyPixel = 0xFF000080;
constexpr QRgb kBackdropPixel = 0xFF140880;
constexpr float kJustBelowOne = 1.0f - 1.0f / (1 << 24);

int CountPixels(const QImage& image, QRect area, auto&& predicate) {
    int count = 0;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) count += predicate(image.pixel(x, y));
    return count;
}

// Draws of 0 give the thinnest black dot at the centre; draws of one half
// round the colour ties to even; draws just below one give the widest,
// brightest, largest ring, cut off at the edge. The pen's width is in device
// pixels at any ratio: a pixel is on the ring when its centre lies within
// half the width of the path, both ends included.
TEST(CircleBackdrop, EachDrawSetsThePenTheColourAndTheRadius) {
    // {the five draws, device-pixel ratio, pen width, colour, ring pixels right of the centre}
    for (const auto& [draws, ratio, width, colour, ringPixels] :
         {std::tuple{std::vector{0.0f, 0.0f, 0.0f, 0.0f, 0.0f}, 1.0, 1, OleColour{0}, 1},
          {std::vector{0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, 1.0, 6, MakeColour(20, 8, 128), 7},
          {std::vector(5, kJustBelowOne), 1.0, 10, MakeColour(40, 15, 255), 5},
          {std::vector{0.95f, 0.5f, 0.5f, 0.5f, 0.5f}, 2.0, 10, MakeColour(20, 8, 128), 11}}) {
        testing::HeadlessRuntime headless(QSize(200, 100) / ratio, ratio);
        Form scene{headless.runtime, CreditsDesign()};
        scene.Load();
        headless.draws.script.assign(draws.begin(), draws.end());
        DrawRandomCircles(headless.runtime, scene);
        EXPECT_EQ(scene.DrawWidth(), width) << draws[0];
        EXPECT_EQ(scene.ForeColor(), colour) << draws[0];
        EXPECT_EQ(CountPixels(scene.DrawingSurface().Image(), QRect(100, 50, 100, 1), [&](QRgb p) { return p == ToPixel(colour); }),
                  ringPixels) << draws[0];
    }
}

LabelDesign Line(const char* name, const char* caption, float top, float width, OleColour colour = kWhite) {
    return LabelDesign{name, caption, 123, top, width, 300, colour, FontAttributes{"Arial", 12, true}, false};
}

bool IsInk(QRgb pixel) { return qRed(pixel) > 100; }

// A 200 x 100 display over a plain scene backdrop, with these lines.
struct CompositionTest : ::testing::Test {
    void Build(std::vector<LabelDesign> labels) {
        FormDesign design = CreditsDesign();
        design.controls.resize(3);
        for (LabelDesign& label : labels) design.controls.emplace_back(std::move(label));
        scene = std::make_unique<Form>(headless.runtime, std::move(design));
        display = std::make_unique<Form>(headless.runtime, FrmDisplay::Design());
        scene->Load();
        display->Show();
        headless.hosts.Window(1).ListenToFrames([this](const auto&) { ++presents; });
        scene->DrawingSurface().Fill(kBackdropPixel);
    }
    const QImage& Frame() { return display->DrawingSurface().Image(); }
    int Presents() const { return presents; }

    testing::HeadlessRuntime headless{QSize(200, 100)};
    std::unique_ptr<Form> scene, display;
    int presents = 0;
};

// A line is centred by its own width, its Left playing no part, and the
// frame is shown once; lines off the edges are cut, and the last line
// printed leaves its drawing state on the display.
TEST_F(CompositionTest, LinesAreCentredByTheirOwnWidthCutAtTheEdgesAndShownOnce) {
    Build({Line("L", "Orsolak", 300, 1200), Line("Up", "Orsolak", -150, 1200), Line("Down", "Orsolak", 1410, 1200),
           Line("Wide", "Programming Programming Programming", 900, 6000, 0x0000FF00)});
    const int presents = Presents();
    ComposeFrame(*scene, *display);
    EXPECT_EQ(Presents(), presents + 1);
    const QImage first = Frame().copy();
    const auto isGreen = [](QRgb p) { return qGreen(p) > 100; };
    // The text cell is 80 px wide, centred: columns 60 to 139, from row 20.
    EXPECT_GT(CountPixels(first, QRect(60, 20, 80, 20), IsInk), 50);
    EXPECT_EQ(CountPixels(first, QRect(0, 0, 58, 100), IsInk) + CountPixels(first, QRect(142, 0, 58, 100), IsInk), 0);
    EXPECT_GT(CountPixels(first, QRect(0, 0, 200, 100), [](QRgb p) { return p == kBackdropPixel; }), 180 * 90);
    EXPECT_GT(CountPixels(first, QRect(60, 0, 80, 8), IsInk), 0);     // the lower half of "Up"
    EXPECT_GT(CountPixels(first, QRect(60, 96, 80, 4), IsInk), 0);    // the top of "Down"
    EXPECT_GT(CountPixels(first, QRect(0, 60, 4, 20), isGreen), 0);   // off the left
    EXPECT_GT(CountPixels(first, QRect(196, 60, 4, 20), isGreen), 0); // and the right
    EXPECT_EQ(display->CurrentX(), 200 * 15 / 2.0f - 3000);
    EXPECT_EQ(display->CurrentY(), 900);
    EXPECT_EQ(display->ForeColor(), 0x0000FF00u);
    scene->LabelNamed("L").SetLeft(-5000);
    scene->LabelNamed("L").SetTop(600);
    ComposeFrame(*scene, *display);
    EXPECT_EQ(CountPixels(Frame(), QRect(0, 12, 200, 28), IsInk), 0); // nothing of the last frame stays
    EXPECT_EQ(Frame().copy(60, 40, 80, 20), first.copy(60, 20, 80, 20));
}

// Each line is printed in its own label's font, name, size, weight and
// slant alike: its ink is that of its caption rendered alone in that font.
TEST_F(CompositionTest, EveryLineIsPrintedInItsOwnLabelsFont) {
    const FontAttributes fonts[] = {{"Arial", 12, true}, {"Arial", 12, true, true}, {"Arial", 12}, {"Arial", 16, true},
                                    {"Times New Roman", 12, true}};
    std::vector<LabelDesign> lines;
    for (const FontAttributes& font : fonts) {
        lines.push_back(Line(std::array{"A", "B", "C", "D", "E"}[lines.size()], "Orsolak", 270.0f * lines.size(), 1200));
        lines.back().font = font;
    }
    Build(std::move(lines));
    ComposeFrame(*scene, *display);
    ASSERT_EQ(display->DrawingSurface().ShownTexts().size(), std::size(fonts));
    for (size_t line = 0; line < std::size(fonts); ++line) {
        Surface alone(QSize(200, 100), 1.0, kBackdropPixel);
        alone.DrawText(RenderText("Orsolak", fonts[line], 0x00FFFFFF, 96), 0, 0);
        EXPECT_EQ(Frame().copy(display->DrawingSurface().ShownTexts()[line].rect), alone.Image().copy(alone.ShownTexts()[0].rect))
            << "line " << line;
    }
}

TEST_F(CompositionTest, ADisplayLargerThanTheSceneKeepsItsBackgroundOutsideTheBackdrop) {
    headless.hosts.SizeNextWindows({QSize(100, 50), QSize(200, 100)});
    Build({Line("L", "Programming Programming", 900, 4000)});
    ComposeFrame(*scene, *display);
    scene->LabelNamed("L").SetTop(300);
    ComposeFrame(*scene, *display);
    EXPECT_EQ(Frame().pixel(99, 49), kBackdropPixel);
    EXPECT_EQ(CountPixels(Frame(), QRect(0, 50, 200, 50), [](QRgb p) { return p == kNavyPixel; }), 200 * 50);
}

} // namespace
} // namespace vantrel
