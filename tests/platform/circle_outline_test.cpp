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
