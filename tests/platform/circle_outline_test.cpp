#include "circle_outline.h"
#include "surface.h"

#include <gtest/gtest.h>
#include <vector>

namespace vantrel {
namespace {

// The outline as a plain test of every pixel of a width x height image.
std::vector<uint8_t> Reference(const CircleOutline& circle, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[static_cast<size_t>(y * width + x)] = circle.Covers(x - circle.centreX, y - circle.centreY);
        }
    }
    return pixels;
}

std::vector<uint8_t> FromSpans(const CircleOutline& circle, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height), 0);
    ForEachOutlineSpan(circle, width, height, [&](int y, int x0, int x1) {
        for (int x = x0; x <= x1; ++x) {
            uint8_t& pixel = pixels[static_cast<size_t>(y * width + x)];
            EXPECT_EQ(pixel, 0) << "pixel painted twice at " << x << "," << y;
            pixel = 1;
        }
    });
    return pixels;
}

TEST(CircleOutline, SpansMatchThePixelTestForAllPensAndRadii) {
    constexpr int kWidth = 41, kHeight = 33;
    for (int pen : {1, 2, 3, 10}) {
        for (double radius : {0.0, 0.4, 1.0, 2.5, 7.3, 15.0, 16.5, 25.0, 60.0}) {
            const CircleOutline circle{20, 16, radius, pen};
            EXPECT_EQ(FromSpans(circle, kWidth, kHeight), Reference(circle, kWidth, kHeight))
                << "pen " << pen << " radius " << radius;
        }
    }
}

TEST(CircleOutline, CentreNearOrOutsideTheEdgesIsClipped) {
    for (const CircleOutline circle : {CircleOutline{0, 0, 9.0, 3}, CircleOutline{-5, 30, 12.0, 1},
                                       CircleOutline{45, 10, 6.0, 10}}) {
        EXPECT_EQ(FromSpans(circle, 40, 32), Reference(circle, 40, 32));
    }
}

TEST(CircleOutline, BandsOfRowsTogetherGiveTheWholeOutline) {
    const CircleOutline circle{20, 16, 13.5, 3};
    std::vector<uint8_t> banded(41 * 33, 0);
    for (int band = -5; band < 40; band += 3) {
        ForEachOutlineSpan(circle, 41, 33, [&](int y, int x0, int x1) {
            ASSERT_GE(y, std::max(band, 0));
            ASSERT_LT(y, band + 3);
            for (int x = x0; x <= x1; ++x) banded[static_cast<size_t>(y * 41 + x)] += 1;
        }, band, band + 3);
    }
    EXPECT_EQ(banded, Reference(circle, 41, 33));
}

// Around one centre, as the backdrop's rings are, and around several; with a
// fill among them, and later rings over the earlier ones' pixels.
TEST(CircleOutline, ManyCirclesDrawnTogetherEqualEachDrawnAtOnce) {
    for (const int centres : {1, 3}) {
        Surface together(QSize(90, 70), 1.0, qRgb(0, 0, 128));
        Surface oneByOne(QSize(90, 70), 1.0, qRgb(0, 0, 128));
        for (int index = 0; index < 300; ++index) {
            if (index == 100) {
                together.Fill(qRgb(9, 9, 9));
                oneByOne.Fill(qRgb(9, 9, 9));
            }
            if (index == 150) (void)together.image(); // draws the fill and the rings since
            const CircleOutline circle{45 - index % centres * 7, 35 + index % centres, (index * 37) % 80 / 1.3,
                                       1 + index % 10};
            const QRgb colour = qRgb(index % 41, index % 16, (index * 7) % 256);
            together.StrokeCircle(circle, colour);
            oneByOne.StrokeCircle(circle, colour);
            (void)oneByOne.image(); // draws it now
        }
        EXPECT_EQ(together.image(), oneByOne.image()) << centres << " centres";
    }
}

TEST(CircleOutline, RadiusZeroStillPaintsADotOfThePenWidth) {
    EXPECT_EQ(FromSpans({5, 5, 0.0, 1}, 11, 11), Reference({5, 5, 0.0, 1}, 11, 11));
    int painted = 0;
    ForEachOutlineSpan(CircleOutline{5, 5, 0.0, 1}, 11, 11, [&](int, int x0, int x1) { painted += x1 - x0 + 1; });
    EXPECT_EQ(painted, 1);
    painted = 0;
    ForEachOutlineSpan(CircleOutline{20, 20, 0.0, 10}, 41, 41, [&](int, int x0, int x1) { painted += x1 - x0 + 1; });
    EXPECT_GT(painted, 60); // a filled disc about 10 pixels across
    EXPECT_LT(painted, 100);
}

TEST(CircleOutline, StrokeReplacesPixelsWithoutBlendingOrFilling) {
    Surface surface(QSize(30, 30), 1.0, qRgb(0, 0, 128));
    surface.StrokeCircle({15, 15, 10.0, 1}, qRgb(40, 15, 255));
    surface.StrokeCircle({15, 15, 10.0, 1}, qRgb(1, 2, 3));
    EXPECT_EQ(surface.image().pixel(25, 15), qRgb(1, 2, 3));
    EXPECT_EQ(surface.image().pixel(15, 15), qRgb(0, 0, 128)); // the inside stays as it was
}

} // namespace
} // namespace vantrel
