#include "credits_design.h"
#include "frm_display.h"
#include "frame_composition.h"
#include "roll_layout.h"
#include "test_support.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace vantrel {
namespace {

constexpr QRgb kNavyPixel = 0xFF000080;
constexpr QRgb kBackdropPixel = 0xFF140880;

LabelDesign Line(const char* name, const char* caption, float top, float width, OleColour colour, bool italic) {
    return LabelDesign{name, caption, 123, top, width, 300, colour, FontAttributes{"Arial", 12, true, italic}, false};
}

FormDesign SceneWith(std::vector<LabelDesign> labels) {
    FormDesign design = CreditsDesign();
    design.controls.resize(3);
    for (LabelDesign& label : labels) design.controls.emplace_back(std::move(label));
    return design;
}

int CountPixels(const QImage& image, QRect area, auto&& predicate) {
    int count = 0;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) count += predicate(image.pixel(x, y));
    }
    return count;
}

bool IsInk(QRgb pixel) { return qRed(pixel) > 100; }

struct CompositionTest : ::testing::Test {
    void Build(std::vector<LabelDesign> labels) {
        scene = std::make_unique<Form>(headless.runtime, SceneWith(std::move(labels)));
        display = std::make_unique<Form>(headless.runtime, FrmDisplay::Design());
        scene->Load();
        display->Show();
        // A plain backdrop that tells copied pixels from the display's own.
        scene->Cls();
        const_cast<Surface&>(scene->surface()).Fill(kBackdropPixel);
    }
    const QImage& Frame() const { return display->surface().image(); }

    testing::HeadlessRuntime headless{QSize(200, 100)};
    std::unique_ptr<Form> scene, display;
};

TEST_F(CompositionTest, SceneWithoutLabelsStillCopiesTheBackdropAndRefreshes) {
    Build({});
    const int presentsBefore = headless.hosts.created[1]->presentCount;
    ComposeFrame(*scene, *display);
    EXPECT_EQ(CountPixels(Frame(), Frame().rect(), [](QRgb p) { return p == kBackdropPixel; }), 200 * 100);
    EXPECT_EQ(headless.hosts.created[1]->presentCount, presentsBefore + 1);
}

TEST_F(CompositionTest, LinesAreCentredByTheirOwnWidthWithLeftIgnoredAndBackgroundTransparent) {
    Build({Line("L", "Orsolak", 300, 1200, kWhite, false)});
    ComposeFrame(*scene, *display);
    const QImage first = Frame().copy();
    // The text cell is 80 px wide, centred: columns 60 to 139, from row 20.
    EXPECT_GT(CountPixels(first, QRect(60, 20, 80, 20), IsInk), 50);
    EXPECT_EQ(CountPixels(first, QRect(0, 0, 58, 100), IsInk), 0);
    EXPECT_EQ(CountPixels(first, QRect(142, 0, 58, 100), IsInk), 0);
    EXPECT_GT(CountPixels(first, QRect(60, 20, 80, 20), [](QRgb p) { return p == kBackdropPixel; }), 100);
    scene->LabelNamed("L").SetLeft(-5000);
    ComposeFrame(*scene, *display);
    EXPECT_EQ(Frame(), first);
}

TEST_F(CompositionTest, LinesAboveTheTopOrWiderThanTheDisplayAreCutOff) {
    Build({Line("Up", "Orsolak", -150, 1200, kWhite, false),
           Line("Wide", "Programming Programming Programming", 900, 6000, kWhite, false)});
    ComposeFrame(*scene, *display);
    EXPECT_GT(CountPixels(Frame(), QRect(60, 0, 80, 8), IsInk), 0);     // the lower half of "Up"
    EXPECT_GT(CountPixels(Frame(), QRect(0, 60, 4, 20), IsInk), 0);     // "Wide" runs off the left
    EXPECT_GT(CountPixels(Frame(), QRect(196, 60, 4, 20), IsInk), 0);   // and off the right
    EXPECT_EQ(display->CurrentX(), 200 * 15 / 2.0f - 3000);
}

TEST_F(CompositionTest, DrawingStateAfterAFrameIsTheLastLabelsInCollectionOrder) {
    Build({Line("First", "Artwork", 300, 900, kWhite, false), Line("Last", "Music", 600, 750, 0x0000FF00, true)});
    ComposeFrame(*scene, *display);
    EXPECT_EQ(display->CurrentY(), 600);
    EXPECT_EQ(display->CurrentX(), 1500 - 375);
    EXPECT_EQ(display->ForeColor(), 0x0000FF00u);
    EXPECT_TRUE(display->Font().Italic());
    EXPECT_TRUE(display->Font().Bold());
    EXPECT_EQ(display->Font().Size(), 12);
    EXPECT_FALSE(display->Font().Underline()); // the display's own setting stays
}

TEST_F(CompositionTest, AFrameLeavesNothingOfThePreviousOneBehind) {
    Build({Line("L", "Orsolak", 300, 1200, kWhite, false)});
    ComposeFrame(*scene, *display);
    scene->LabelNamed("L").SetTop(900);
    ComposeFrame(*scene, *display);
    EXPECT_EQ(CountPixels(Frame(), QRect(0, 0, 200, 40), IsInk), 0);
    EXPECT_GT(CountPixels(Frame(), QRect(60, 60, 80, 20), IsInk), 50);
}

TEST_F(CompositionTest, DisplayLargerThanTheSceneKeepsItsBackgroundOutsideTheBackdrop) {
    headless.hosts.nextSizes = {QSize(100, 50), QSize(200, 100)};
    Build({Line("L", "Programming Programming", 900, 4000, kWhite, false)});
    ComposeFrame(*scene, *display);
    scene->LabelNamed("L").SetTop(300);
    ComposeFrame(*scene, *display);
    const QImage& frame = Frame();
    EXPECT_EQ(frame.pixel(99, 49), kBackdropPixel);
    EXPECT_EQ(CountPixels(frame, QRect(0, 50, 200, 50), [](QRgb p) { return p == kNavyPixel; }), 200 * 50);
}

// At full size, every line of the roll is centred on the window: its ink
// lies where Qt puts the same text centred by its measured advance.
TEST(CompositionAtFullSize, EveryLineIsCentredOnTheWindowWithinAPixel) {
    testing::HeadlessRuntime headless{QSize(1920, 1080)};
    Form scene(headless.runtime, CreditsDesign());
    Form display(headless.runtime, FrmDisplay::Design());
    scene.Load();
    display.Show();
    CentreLabels(scene);
    for (Control* control : scene.Controls()) {
        Label* label = control->AsLabel();
        if (label == nullptr) continue;
        label->SetTop(15 * 400);
        for (Control* other : scene.Controls()) {
            if (other->AsLabel() != nullptr && other != control) other->AsLabel()->SetTop(-99999);
        }
        ComposeFrame(scene, display);

        QImage reference(1920, 1080, QImage::Format_RGB32);
        reference.fill(kNavyPixel);
        {
            QPainter painter(&reference);
            QFont font = ToQFont(label->Font().attributes());
            painter.setFont(font);
            painter.setPen(Qt::white);
            const QFontMetricsF metrics(font, &reference);
            const QString caption = QString::fromStdString(label->Caption());
            painter.drawText(QPointF(960 - metrics.horizontalAdvance(caption) / 2, 400 + metrics.ascent()), caption);
        }
        auto inkColumns = [](const QImage& image) {
            int left = image.width(), right = -1;
            for (int y = 390; y < 500; ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (qRed(image.pixel(x, y)) > 200 && qBlue(image.pixel(x, y)) > 200) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
                }
            }
            return std::make_pair(left, right);
        };
        const auto [left, right] = inkColumns(display.surface().image());
        const auto [expectedLeft, expectedRight] = inkColumns(reference);
        EXPECT_NEAR(left, expectedLeft, 1) << label->Caption();
        EXPECT_NEAR(right, expectedRight, 1) << label->Caption();
    }
}

} // namespace
} // namespace vantrel
