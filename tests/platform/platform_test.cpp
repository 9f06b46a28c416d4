#include "circle_outline.h"
#include "conversions.h"
#include "form.h"
#include "random_source.h"
#include "surface.h"
#include "test_support.h"
#include "timer_control.h"
#include "timer_scheduler.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace vantrel {
namespace {

constexpr QRgb kNavyPixel = 0xFF000080;
constexpr int64_t kMs = 1'000'000;

// The outline as a plain test of every pixel, and as the spans paint it.
std::vector<uint8_t> Reference(const CircleOutline& circle, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) pixels[y * width + x] = circle.Covers(x - circle.centreX, y - circle.centreY);
    }
    return pixels;
}

std::vector<uint8_t> FromSpans(const CircleOutline& circle, int width, int height, int bandRows = 1000) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height), 0);
    for (int band = 0; band < height; band += bandRows) {
        ForEachOutlineSpan(circle, width, height, [&](int y, int x0, int x1) {
            for (int x = x0; x <= x1; ++x) pixels[y * width + x] += 1; // a pixel painted twice shows as 2
        }, band, band + bandRows);
    }
    return pixels;
}

TEST(CircleOutline, SpansInBandsMatchThePixelTest) {
    for (int pen : {1, 2, 3, 10}) {
        for (double radius : {0.0, 0.4, 1.0, 2.5, 7.3, 15.0, 16.5, 25.0, 60.0}) {
            for (const auto& [x, y] : {std::pair{20, 16}, {0, 0}, {-5, 30}, {45, 10}}) {
                const CircleOutline circle{x, y, radius, pen};
                EXPECT_EQ(FromSpans(circle, 41, 33, 3), Reference(circle, 41, 33)) << pen << " " << radius << " " << x;
            }
        }
    }
}

// Around one centre, as the backdrop's rings are, and around several; with a
// fill among them, and later rings over the earlier ones' pixels.
TEST(CircleOutline, ManyCirclesDrawnTogetherEqualEachDrawnAtOnce) {
    for (const int centres : {1, 3}) {
        Surface together(QSize(90, 70), 1.0, kNavyPixel), oneByOne(QSize(90, 70), 1.0, kNavyPixel);
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

// A block copy after rings on the source and text on the target must equal
// a full copy, also where the target reaches past the source; and the damage
// a surface reports must cover every pixel that changed.
TEST(Surface, BlockCopyAndDamageAgreeWithAFullCopy) {
    testing::EnsureApplication();
    const TextImage text = RenderText("Orsolak", FontAttributes{"Arial", 20, true}, 0x00FFFFFF, 96);
    for (const QSize targetSize : {QSize(200, 120), QSize(260, 150), QSize(150, 90)}) {
        Surface source(QSize(200, 120), 1.0, kNavyPixel), target(targetSize, 1.0, kNavyPixel);
        std::mt19937 random(7);
        for (int frame = 0; frame < 60; ++frame) {
            if (random() % 3 == 0) {
                const CircleOutline ring{100, 60, double(random() % 130), int(1 + random() % 10)};
                source.StrokeCircle(ring, qRgb(random() % 41, random() % 16, random() % 256));
            }
            const QImage before = target.image().copy();
            target.CopyFrom(source, 3000, 1800, kNavyPixel);
            QImage expected = before.copy();
            for (int y = 0; y < expected.height(); ++y) {
                for (int x = 0; x < expected.width(); ++x) {
                    const bool inSource = x < 200 && y < 120;
                    expected.setPixel(x, y, inSource ? source.image().pixel(x, y) : kNavyPixel);
                }
            }
            ASSERT_EQ(target.image(), expected) << "frame " << frame << " at " << targetSize.width();
            target.DrawText(text, int(random() % 200) - 40, int(random() % 140) - 20);
            QRegion damaged;
            for (const QRect& rect : target.TakeDamage()) damaged += rect;
            for (int y = 0; y < expected.height(); ++y) {
                for (int x = 0; x < expected.width(); ++x) {
                    if (target.image().pixel(x, y) != before.pixel(x, y)) {
                        ASSERT_TRUE(damaged.contains(QPoint(x, y)));
                    }
                }
            }
        }
    }
}

TEST(Surface, CopyOfASmallerRectangleLeavesTheRestAlone) {
    Surface source(QSize(64, 32), 1.0, qRgb(255, 0, 0)), target(QSize(64, 32), 1.0, kNavyPixel);
    target.CopyFrom(source, 10, 5, kNavyPixel);
    for (const auto& [x, y, pixel] : {std::tuple{9, 4, qRgb(255, 0, 0)}, {10, 4, kNavyPixel}, {9, 5, kNavyPixel}})
        EXPECT_EQ(target.image().pixel(x, y), pixel) << x << "," << y;
}

// A window still showing only its back colour is left to the server's own
// fill: any drawing must end that, or the window would miss it.
TEST(Surface, HoldsOnePlainColourOnlyUntilDrawnOn) {
    testing::EnsureApplication();
    const Surface red(QSize(64, 32), 1.0, qRgb(255, 0, 0));
    const std::function<void(Surface&)> drawings[] = {
        [](Surface& s) { s.StrokeCircle({30, 10, 5.0, 1}, kNavyPixel); },
        [](Surface& s) { s.DrawText(RenderText("O", FontAttributes{"Arial", 20}, 0x00FFFFFF, 96), 0, 0); },
        [&](Surface& s) { s.CopyFrom(red, 64, 32, kNavyPixel); },
    };
    for (const auto& draw : drawings) {
        Surface surface(QSize(64, 32), 1.0, kNavyPixel);
        EXPECT_EQ(surface.PlainColour(), kNavyPixel);
        draw(surface);
        EXPECT_FALSE(surface.PlainColour());
        surface.Fill(qRgb(1, 2, 3));
        EXPECT_EQ(surface.PlainColour(), qRgb(1, 2, 3));
    }
}

int32_t ErrorOf(auto&& convert) {
    try {
        convert();
    } catch (const RuntimeError& error) {
        return error.number();
    }
    return 0;
}

TEST(Conversions, RoundHalfToEvenWithinTheLimitsAndOverflowOutside) {
    const std::pair<double, int> ties[] = {{0.5, 0},    {-0.5, 0},   {1.5, 2},        {-1.5, -2},
                                           {2.5, 2},    {7.5, 8},    {2.5000001, 3},  {32767.49, 32767},
                                           {-32768.5, -32768}};
    for (const auto& [value, rounded] : ties) EXPECT_EQ(CInt(value), rounded) << value;
    EXPECT_EQ(CLng(-2147483648.5), std::numeric_limits<int32_t>::min());
    for (double value : {32767.5, -32768.51, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(ErrorOf([&] { CInt(value); }), errors::kOverflow) << value;
    }
    EXPECT_EQ(ErrorOf([] { CLng(2147483647.5); }), errors::kOverflow);
}

TEST(RandomSource, WholePeriodStaysInsideZeroToOneAndCoversBothEnds) {
    RandomSource source;
    float lowest = 1.0f, highest = 0.0f;
    for (int draw = 0; draw < (1 << 24); ++draw) {
        const float value = source.Next();
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    EXPECT_EQ(lowest, 0.0f);
    EXPECT_GT(highest, 0.9999f);
    EXPECT_LT(highest, 1.0f);
}

struct SchedulerTest : ::testing::Test {
    // Moves the clock in 1 ms steps, running whatever falls due.
    void RunFor(int64_t milliseconds) {
        for (int64_t elapsed = 0; elapsed < milliseconds; ++elapsed) {
            clock.Advance(kMs);
            scheduler.RunDue();
        }
    }
    Timer& Add(const char* name, int interval) {
        Timer& timer = timers.emplace_back(TimerDesign{name, interval, true});
        timer.onTimer = [] {};
        scheduler.Add(timer);
        return timer;
    }
    ManualClock clock;
    TimerScheduler scheduler{clock, 1000.0 / 60.0};
    std::deque<Timer> timers;
};

TEST_F(SchedulerTest, TimersKeepTheirIntervalsButNeverOutpaceTheRefresh) {
    const Timer &replay = Add("tmrReplay", 500), &scroll = Add("tmrScroll", 1), &circle = Add("tmrCircle", 50);
    RunFor(60'000);
    EXPECT_EQ(scroll.Events(), 3600u); // no drift over a minute of 60 Hz frames
    EXPECT_EQ(circle.Events(), 1200u);
    EXPECT_EQ(replay.Events(), 120u);
}

TEST_F(SchedulerTest, AStallOrAHoldIsNotReplayedInABurstAndTimersResumeInDueOrder) {
    Timer &replay = Add("tmrReplay", 500), &scroll = Add("tmrScroll", 1);
    std::string order;
    replay.onTimer = [&] { order += 'r'; };
    scroll.onTimer = [&] { order += 's'; };
    clock.Advance(5000 * kMs); // the machine slept
    EXPECT_EQ(scheduler.RunDue(), 2);
    EXPECT_EQ(scheduler.RunDue(), 0);
    scheduler.Hold();
    RunFor(3000);
    EXPECT_EQ(scroll.Events() + replay.Events(), 2u);
    scheduler.Release();
    order.clear();
    EXPECT_EQ(scheduler.RunDue(), 2); // each once, not the missed ones
    EXPECT_EQ(order, "sr");           // the frame before the poll, which fell due later
    RunFor(1000);
    EXPECT_EQ(scroll.Events(), 2u + 60u);
}

// A report that stays open for a while on the manual clock, as if someone
// read it before pressing OK.
// It notes its title and whether the timers were held while it was open.
struct SlowReport final : MessageBox {
    SlowReport(ManualClock& clock, int64_t openMs) : clock(clock), openMs(openMs) {}
    void ShowCritical(const std::string&, const std::string& shownTitle) override {
        title = shownTitle, held = timers->held();
        clock.Advance(openMs * kMs);
    }
    ManualClock& clock;
    int64_t openMs;
    const TimerScheduler* timers = nullptr;
    std::string title;
    bool held = false;
};

// A timer whose every tick fails is due again one whole period after its
// report is dismissed, however long the report was open; the timers are
// held while it is open.
TEST(TimerScheduler, AReportedTimerResumesOnePeriodAfterTheReportIsDismissed) {
    constexpr double kFrameMs = 10.0;
    // {interval, how long the report stays open, the gap after it} in ms
    for (const auto& [intervalMs, openMs, gapMs] :
         {std::tuple{500, 300, 500}, {500, 2000, 500}, {500, 499, 500}, {50, 10, 50}, {1, 5, 10}}) {
        SCOPED_TRACE(::testing::Message() << intervalMs << " ms timer, report open " << openMs << " ms");
        ManualClock clock;
        SlowReport report(clock, openMs);
        Runtime runtime(Runtime::Services{&clock, &report, nullptr, nullptr, {}});
        runtime.timers().SetFramePeriod(kFrameMs);
        report.timers = &runtime.timers();
        Timer failing(TimerDesign{"tmrReplay", intervalMs, true});
        int ticks = 0;
        int64_t dismissedAtNs = 0, nextAtNs = 0;
        failing.onTimer = [&] {
            if (++ticks == 2) nextAtNs = clock.NowNs();
            if (ticks > 1) return;
            runtime.ShowCriticalMessage("Unexpected error in procedure: tmrReplay_Timer");
            dismissedAtNs = clock.NowNs();
        };
        runtime.timers().Add(failing);
        for (int64_t elapsed = 0; elapsed < intervalMs + openMs + 2 * gapMs; ++elapsed) {
            clock.Advance(kMs);
            runtime.timers().RunDue();
        }
        ASSERT_GE(ticks, 2);
        EXPECT_EQ((nextAtNs - dismissedAtNs) / kMs, gapMs);
        EXPECT_TRUE(report.held);
        EXPECT_EQ(report.title, "Vantrel Credits");
        EXPECT_FALSE(runtime.timers().held());
    }
}

TEST_F(SchedulerTest, AHandlerMayRemoveATimerDueInTheSameRound) {
    Timer &first = Add("first", 20), &second = Add("second", 20);
    first.onTimer = [&] { scheduler.Remove(second); };
    RunFor(100);
    EXPECT_GT(first.Events(), 0u);
    EXPECT_EQ(second.Events(), 0u);
}

} // namespace
} // namespace vantrel
