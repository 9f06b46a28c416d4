#include "surface.h"
#include "test_support.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <random>

namespace vantrel {
namespace {

constexpr QRgb kNavyPixel = 0xFF000080;

// A full, naive block copy of what the damage-tracking one must equal.
QImage NaiveCopy(const QImage& target, const QImage& source, QRgb outside) {
    QImage expected = target.copy();
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const bool inSource = x < source.width() && y < source.height();
            expected.setPixel(x, y, inSource ? source.pixel(x, y) : outside);
        }
    }
    return expected;
}

TextImage SomeText() {
    testing::EnsureApplication();
    return RenderText("Orsolak", FontAttributes{"Arial", 20, true}, 0x00FFFFFF, 96);
}

// Draws the same random changes a running program makes: rings on the
// backdrop, lines of text on the display, and sometimes neither.
TEST(Surface, BlockCopyAfterAnyDrawingEqualsAFullCopy) {
    const TextImage text = SomeText();
    for (const QSize targetSize : {QSize(200, 120), QSize(260, 150), QSize(150, 90)}) {
        Surface source(QSize(200, 120), 1.0, kNavyPixel);
        Surface target(targetSize, 1.0, kNavyPixel);
        std::mt19937 random(7);
        for (int frame = 0; frame < 60; ++frame) {
            if (random() % 3 == 0) {
                const CircleOutline ring{100, 60, static_cast<double>(random() % 130), static_cast<int>(1 + random() % 10)};
                source.StrokeCircle(ring, qRgb(random() % 41, random() % 16, random() % 256));
            }
            const QImage before = target.image().copy();
            target.CopyFrom(source, 3000, 1800, kNavyPixel);
            ASSERT_EQ(target.image(), NaiveCopy(before, source.image(), kNavyPixel))
                << "frame " << frame << " at " << targetSize.width() << "x" << targetSize.height();
            target.DrawText(text, static_cast<int>(random() % 200) - 40, static_cast<int>(random() % 140) - 20);
        }
    }
}

TEST(Surface, CopyOfASmallerRectangleLeavesTheRestAlone) {
    Surface source(QSize(64, 32), 1.0, qRgb(255, 0, 0));
    Surface target(QSize(64, 32), 1.0, kNavyPixel);
    target.CopyFrom(source, 10, 5, kNavyPixel);
    EXPECT_EQ(target.image().pixel(9, 4), qRgb(255, 0, 0));
    EXPECT_EQ(target.image().pixel(10, 4), kNavyPixel);
    EXPECT_EQ(target.image().pixel(9, 5), kNavyPixel);
}

TEST(Surface, SecondCopyOfUnchangedSurfacesCopiesNothing) {
    Surface source(QSize(640, 480), 1.0, kNavyPixel);
    Surface target(QSize(640, 480), 1.0, kNavyPixel);
    target.CopyFrom(source, 9600, 7200, kNavyPixel);
    const uint64_t afterFirst = target.copiedPixels();
    target.CopyFrom(source, 9600, 7200, kNavyPixel);
    EXPECT_EQ(target.copiedPixels(), afterFirst);
    source.StrokeCircle({320, 240, 50.0, 2}, qRgb(1, 1, 1));
    target.CopyFrom(source, 9600, 7200, kNavyPixel);
    EXPECT_LT(target.copiedPixels() - afterFirst, 640u * 480u / 4);
}

TEST(Surface, DamageCoversEveryChangedPixel) {
    const TextImage text = SomeText();
    Surface surface(QSize(300, 200), 1.0, kNavyPixel);
    surface.TakeDamage();
    const QImage before = surface.image().copy();
    surface.StrokeCircle({150, 100, 70.0, 4}, qRgb(30, 10, 200));
    surface.DrawText(text, 20, 180); // reaches past the bottom edge
    QRegion damaged;
    for (const QRect& rect : surface.TakeDamage()) damaged += rect;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            if (surface.image().pixel(x, y) != before.pixel(x, y)) {
                ASSERT_TRUE(damaged.contains(QPoint(x, y))) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(surface.TakeDamage().empty());
}

TEST(Surface, TextBlendsGlyphsOnlyAndClipsAtEveryEdge) {
    const TextImage text = SomeText();
    Surface surface(QSize(60, 20), 1.0, kNavyPixel);
    surface.DrawText(text, -30, -10); // cut off on the left and at the top
    int white = 0, navy = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 60; ++x) {
            const QRgb pixel = surface.image().pixel(x, y);
            white += pixel == 0xFFFFFFFF;
            navy += pixel == kNavyPixel;
        }
    }
    EXPECT_GT(white, 0);
    EXPECT_GT(navy, 0); // the text's background is never painted
}

} // namespace
} // namespace vantrel
