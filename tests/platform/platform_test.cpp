#include "circle_outline.h"
#include "conversions.h"
#include "frame_clock.h"
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

// Around one centre, as the backdrop's rings are, and around several; with a
// fill among them, and later rings over the earlier ones' pixels.
TEST(CircleOutline, ManyCirclesDrawnTogetherEqualEachDrawnAtOnce) {
    for (const int centres : {1, 3}) {
        Surface together(QSize(90, 70), 1.0, kNavyPixel), oneByOne(QSize(90, 70), 1.0, kNavyPixel);
        for (int index = 0; index < 300; ++index) {
            if (index == 150) (void)together.Image(); // draws the fill and the rings since
            const CircleOutline circle{45 - index % centres * 7, 35 + index % centres, (index * 37) % 80 / 1.3,
                                       1 + index % 10};
            for (Surface* surface : {&together, &oneByOne}) {
                if (index == 100) surface->Fill(qRgb(9, 9, 9));
                surface->StrokeCircle(circle, qRgb(index % 41, index % 16, (index * 7) % 256));
            }
            (void)oneByOne.Image(); // draws it now
        }
        EXPECT_EQ(together.Image(), oneByOne.Image()) << centres << " centres";
    }
}

// A block copy after rings on the source and text or a fill on the target must equal
// a full copy of its rectangle, also where the target reaches past the
// source, and leave the rest of the target alone; and the damage a surface
// reports must cover every pixel that changed.
TEST(Surface, BlockCopyAndDamageAgreeWithAFullCopy) {
    testing::EnsureApplication();
    const TextImage text = RenderText("Orsolak", FontAttributes{"Arial", 20, true}, 0x00FFFFFF, 96);
    for (const auto& [targetSize, copy] : {std::pair{QSize(200, 120), QSize(3000, 1800)}, {QSize(260, 150), QSize(3000, 1800)},
                                           {QSize(150, 90), QSize(3000, 1800)}, {QSize(200, 120), QSize(70, 45)}}) {
        Surface source(QSize(200, 120), 1.0, kNavyPixel), target(targetSize, 1.0, kNavyPixel);
        std::mt19937 random(7);
        for (int frame = 0; frame < 60; ++frame) {
            if (random() % 3 == 0) {
                const CircleOutline ring{100, 60, double(random() % 130), int(1 + random() % 10)};
                source.StrokeCircle(ring, qRgb(random() % 41, random() % 16, random() % 256));
            }
            const QImage before = target.Image().copy();
            target.CopyFrom(source, copy.width(), copy.height(), kNavyPixel);
            QImage expected = before.copy();
            for (int y = 0; y < std::min(expected.height(), copy.height()); ++y)
                for (int x = 0; x < std::min(expected.width(), copy.width()); ++x)
                    expected.setPixel(x, y, x < 200 && y < 120 ? source.Image().pixel(x, y) : kNavyPixel);
            ASSERT_EQ(target.Image(), expected) << "frame " << frame << " at " << targetSize.width();
            target.DrawText(text, int(random() % 200) - 40, int(random() % 140) - 20);
            if (frame % 7 == 3) target.Fill(qRgb(9, 9, 9)); // over text and copy alike
            QRegion damaged;
            for (const QRect& rect : target.TakeDamage()) damaged += rect;
            ASSERT_TRUE(target.TakeDamage().empty()) << "damage is taken once";
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x)
                    ASSERT_TRUE(target.Image().pixel(x, y) == before.pixel(x, y) || damaged.contains(QPoint(x, y)));
        }
    }
}

// A line is shown from when some of its ink lands on the surface until a
// fill or a copy covers all of it; a copy over part of it leaves it shown,
// and the next change is heard even after the entries moved. Only a fill
// leaves the surface one plain colour, which the window leaves to the
// server's own fill: any drawing must end that, or the window would miss it.
TEST(Surface, ShowsALineUntilAllItsInkIsCoveredAndIsPlainOnlyUntilDrawnOn) {
    testing::EnsureApplication();
    const FontAttributes font{"Arial", 20, true};
    const TextImage left = RenderText("Ab", font, 0x00FFFFFF, 96), right = RenderText("Cd", font, 0x00FFFFFF, 96);
    Surface backdrop(QSize(200, 60), 1.0, kNavyPixel);
    Surface surface(QSize(200, 60), 1.0, kNavyPixel);
    auto texts = [&] {
        std::string joined;
        for (const Surface::ShownText& shown : surface.ShownTexts()) joined += shown.text + ";";
        return joined;
    };
    EXPECT_EQ(surface.PlainColour(), kNavyPixel);
    surface.DrawText(left, 0, 10);
    EXPECT_FALSE(surface.PlainColour());
    surface.DrawText(right, 150, 10);
    surface.DrawText(left, 0, 100); // below the surface: not shown
    EXPECT_EQ(texts(), "Ab;Cd;");
    EXPECT_TRUE(surface.TakeShownTextsChange());
    EXPECT_FALSE(surface.TakeShownTextsChange());
    surface.CopyFrom(backdrop, 100, 60, kNavyPixel); // covers "Ab" only
    EXPECT_EQ(texts(), "Cd;");
    EXPECT_TRUE(surface.TakeShownTextsChange());
    surface.DrawText(left, 0, 12);
    surface.CopyFrom(backdrop, 8, 60, kNavyPixel); // over part of "Ab"
    EXPECT_EQ(texts(), "Cd;Ab;");
    EXPECT_TRUE(surface.TakeShownTextsChange());
    surface.CopyFrom(backdrop, 200, 60, kNavyPixel);
    surface.DrawText(right, 150, 9);
    surface.DrawText(left, 0, 11);
    EXPECT_FALSE(surface.TakeShownTextsChange()) << "the same lines, moved";
    surface.Fill(qRgb(1, 2, 3));
    EXPECT_EQ(texts(), "");
    EXPECT_TRUE(surface.TakeShownTextsChange());
    EXPECT_EQ(surface.PlainColour(), qRgb(1, 2, 3));
    surface.CopyFrom(backdrop, 8, 8, kNavyPixel);
    EXPECT_FALSE(surface.PlainColour());
    surface.Fill(qRgb(1, 2, 3));
    surface.StrokeCircle({30, 10, 5.0, 1}, kNavyPixel);
    EXPECT_FALSE(surface.PlainColour());
}

TEST(Conversions, RoundHalfToEvenWithinTheLimitsAndOverflowOutside) {
    const std::pair<double, int> ties[] = {{0.5, 0},    {-0.5, 0},   {1.5, 2},        {-1.5, -2},
                                           {2.5, 2},    {7.5, 8},    {2.5000001, 3},  {32767.49, 32767},
                                           {-32768.5, -32768}};
    for (const auto& [value, rounded] : ties) EXPECT_EQ(CInt(value), rounded) << value;
    for (double value : {32767.5, -32768.51, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW((void)CInt(value), RuntimeError) << value;
}

TEST(RandomSource, WholePeriodStaysInsideZeroToOneAndCoversBothEnds) {
    CongruentialRandom source;
    float lowest = 1.0f, highest = 0.0f;
    for (int draw = 0; draw < (1 << 24); ++draw) {
        const float value = source.Next();
        lowest = std::min(lowest, value), highest = std::max(highest, value);
    }
    EXPECT_EQ(lowest, 0.0f);
    EXPECT_TRUE(highest > 0.9999f && highest < 1.0f) << highest;
}

// The runtime's timers on a manual clock, at its 60 frames a second. Its
// failure report stays open for openMs, as if someone read it before
// pressing OK, and notes its title and whether the timers were held.
struct SchedulerTest : ::testing::Test, MessageBox {
    void ShowCritical(const std::string&, const std::string& shownTitle) override {
        title = shownTitle, held = scheduler.Held();
        clock.Advance(openMs * kMs);
    }
    // Moves the clock in 1 ms steps, running whatever falls due.
    void RunFor(int64_t milliseconds) {
        for (int64_t elapsed = 0; elapsed < milliseconds; ++elapsed) {
            clock.Advance(kMs);
            scheduler.RunDue();
        }
    }
    Timer& Add(const char* name, int interval) {
        Timer& timer = timers.emplace_back(TimerDesign{name, interval, true});
        scheduler.Add(timer);
        return timer;
    }
    ManualClock clock;
    Runtime runtime{Runtime::Services{&clock, this, nullptr, nullptr, {}}};
    TimerScheduler& scheduler = runtime.Timers();
    std::deque<Timer> timers;
    int64_t openMs = 0;
    std::string title;
    bool held = false;
};

// Over a minute of 60 Hz frames each timer keeps its interval and none
// outpaces the refresh; one that a handler removes in the same round does
// not fire. After a stall or a hold, each timer fires once, not the missed
// ones in a burst, in the order they fell due.
TEST_F(SchedulerTest, TimersKeepTheirIntervalsAndAStallOrAHoldIsNotReplayedInABurst) {
    Timer &replay = Add("tmrReplay", 500), &scroll = Add("tmrScroll", 1);
    Timer &circle = Add("tmrCircle", 50), &removed = Add("removed", 50);
    std::string order;
    replay.SetHandler([&] { order += 'r'; });
    scroll.SetHandler([&] { order += 's'; });
    circle.SetHandler([&] { scheduler.Remove(removed); }); // due in the same round, after it
    RunFor(60'000);
    EXPECT_EQ(scroll.Events(), 3600u); // no drift
    EXPECT_EQ(circle.Events(), 1200u);
    EXPECT_EQ(replay.Events(), 120u);
    EXPECT_EQ(removed.Events(), 0u);
    clock.Advance(5000 * kMs); // the machine slept
    EXPECT_EQ(scheduler.RunDue(), 3);
    EXPECT_EQ(scheduler.RunDue(), 0);
    scheduler.Hold();
    order.clear();
    RunFor(3000);
    scheduler.Release();
    EXPECT_EQ(scheduler.RunDue(), 3); // each once, not the missed ones
    EXPECT_EQ(order, "sr");           // none while held; then the frame before the poll, which fell due later
    RunFor(1000);
    EXPECT_EQ(scroll.Events(), 3600u + 2u + 60u);
}

// Where the wall clock paces the frames, the scroll ticks once every N of
// the screen's refreshes, N nearest to 60 ticks a second, as on the paced
// paths: the lines keep their speed on a fast screen.
TEST_F(SchedulerTest, OnTheWallClockTheScrollTicksOnceEveryNRefreshesOfTheScreen) {
    const Timer& scroll = Add("tmrScroll", 1);
    // {the screen's refresh rate, scroll ticks a second}; 0: not known
    for (const auto& [refreshHz, ticksPerSecond] :
         {std::pair{60.0, 60}, {75.0, 75}, {120.0, 60}, {144.0, 72}, {240.0, 60}, {0.0, 60}}) {
        SCOPED_TRACE(::testing::Message() << refreshHz << " Hz");
        scheduler.SetFramePeriod(TimerTickPeriodMs(refreshHz));
        RunFor(100); // the new period has begun
        const uint64_t before = scroll.Events();
        RunFor(10'000);
        EXPECT_NEAR(static_cast<double>(scroll.Events() - before), 10.0 * ticksPerSecond, 1.0);
    }
}

// A timer whose every tick fails is due again one whole period after its
// report is dismissed, however long the report was open; the timers are
// held while it is open.
TEST_F(SchedulerTest, AReportedTimerResumesOnePeriodAfterTheReportIsDismissed) {
    // {interval, how long the report stays open, the gap after it} in ms
    for (const auto& [intervalMs, open, gapMs] :
         {std::tuple{500, 300, 500}, {500, 2000, 500}, {500, 499, 500}, {50, 10, 50}, {1, 5, 17}}) {
        SCOPED_TRACE(::testing::Message() << intervalMs << " ms timer, report open " << open << " ms");
        openMs = open;
        std::vector<int64_t> firedAtMs;
        Add("tmrReplay", intervalMs).SetHandler([&] {
            firedAtMs.push_back(clock.NowNs() / kMs);
            if (firedAtMs.size() == 1) runtime.ShowCriticalMessage("Unexpected error in procedure: tmrReplay_Timer");
        });
        RunFor(intervalMs + open + 2 * gapMs);
        scheduler.Remove(timers.back());
        ASSERT_GE(firedAtMs.size(), 2u);
        EXPECT_EQ(firedAtMs[1] - firedAtMs[0] - open, gapMs);
        EXPECT_TRUE(held);
        EXPECT_EQ(title, "Vantrel Credits");
        EXPECT_FALSE(scheduler.Held());
    }
}

} // namespace
} // namespace vantrel
