// How evenly the credits move on the real window, refresh by refresh, on
// displays of 60, 75 and 144 Hz: an observer asks the X server's Present
// extension to report every refresh of the program's window, reads a narrow
// strip down the middle of the window right after each one, and finds how
// far the white text moved since the refresh before. It judges timing, so
// it runs alone.

#include "desktop.h"

namespace desktop {
namespace {

constexpr int kStripWidth = 48;       // pixels, centred on the window
constexpr int kMostShift = 8;         // pixels a refresh, searched for
constexpr auto kObserved = Ms(10000); // per rate
constexpr int kSettleRefreshes = 30;  // before the observer starts
// Xvfb keeps a timer of whole milliseconds for each request waiting on a
// refresh, so the program's frame may land a millisecond after the report
// of the same refresh: the strip is read this far into the refresh period.
// The next refresh is asked for before that: Xvfb counts a refresh from
// halfway to it, so a request made late in a period would be answered at
// once, a refresh early.
constexpr double kCaptureDelay = 0.4;

uint64_t NowUs() { return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count(); }

// A strip read at a refresh, between two moments (monotonic microseconds).
struct Reading { WhiteMask white; uint64_t fromUs = 0, toUs = 0; };

// Reads the strip at every refresh for a while; keeps the readings whose
// answer was in before the next refresh was reported, by refresh.
std::map<uint64_t, Reading> ReadEveryRefresh(X& x, Refreshes& refreshes, const Rect& strip, int hz) {
    std::map<uint64_t, Reading> readings;
    refreshes.Ask(0);
    auto report = refreshes.Wait();
    for (const auto end = Clock::now() + kObserved; report && Clock::now() < end;) {
        refreshes.Ask(report->msc + 1); // before it can have come
        std::this_thread::sleep_for(std::chrono::duration<double>(kCaptureDelay / hz));
        Reading reading{{}, NowUs()};
        reading.white = WhiteOf(x.Capture(strip)), reading.toUs = NowUs();
        const auto next = refreshes.Wait();
        if (next && next->msc == report->msc + 1 && next->ustUs > reading.toUs)
            readings[report->msc] = std::move(reading);
        report = next;
    }
    return readings;
}

// What the observer saw, over spans of one tick's refreshes whose ends it
// both read in time and in which the text could be followed.
// Of those spans: the ones in which the program showed exactly one frame;
// of these, the ones read with no frame copied late by a busy server
// (judged); of the judged, the ones in which the text moved exactly one
// pixel. Then the single refreshes in which it moved two or more (jumps),
// and the frames shown fewer refreshes apart than a tick.
struct Cadence { int spans = 0, withOneFrame = 0, judged = 0, oneStep = 0, jumps = 0, framesTooClose = 0; };

// A reading counts only if it saw the frame shown at its refresh and no
// other (on a busy machine Xvfb may copy a frame some milliseconds late). A
// span counts against the program only if it showed one frame in it: on a
// busy machine it may miss a refresh, and must then show the same frame one
// refresh longer, never more than one step at once.
Cadence Judge(std::map<uint64_t, Reading>& readings, const std::map<uint64_t, uint64_t>& frames, int perTick) {
    auto settled = [&](uint64_t at) {
        const auto next = frames.upper_bound(at);
        return (next == frames.begin() || std::prev(next)->second < readings[at].fromUs) &&
               (next == frames.end() || next->second > readings[at].toUs);
    };
    Cadence cadence;
    for (const auto& [at, reading] : readings) {
        if (readings.contains(at + 1) && settled(at) && settled(at + 1)) {
            const auto shift = UpwardShift(reading.white, readings[at + 1].white, kMostShift);
            cadence.jumps += shift && *shift >= 2;
        }
        if (!readings.contains(at + perTick)) continue;
        const auto shift = UpwardShift(reading.white, readings[at + perTick].white, kMostShift);
        if (!shift) continue;
        ++cadence.spans;
        if (std::distance(frames.upper_bound(at), frames.upper_bound(at + perTick)) != 1) continue;
        ++cadence.withOneFrame;
        if (!settled(at) || !settled(at + perTick)) continue;
        ++cadence.judged;
        cadence.oneStep += *shift == 1;
    }
    for (auto frame = frames.begin(); frame != frames.end() && std::next(frame) != frames.end(); ++frame)
        cadence.framesTooClose += std::next(frame)->first - frame->first < uint64_t(perTick);
    return cadence;
}

class Pacing : public ::testing::TestWithParam<std::pair<int, int>> {};

// At 60 and 75 Hz one pixel every refresh; at 144 Hz one pixel every second
// refresh, so the speed stays near 60 pixels a second.
TEST_P(Pacing, TextMovesOnePixelPerTickLockedToTheDisplay) {
    const auto [hz, perTick] = GetParam();
    Desktop desktop(kOpenbox, {"-fakescreenfps", std::to_string(hz)});
    Program program(desktop);
    const xcb_window_t window = program.WaitForMainWindow();
    ASSERT_NE(window, 0u) << "no main window; stderr:\n" << program.Stderr();
    const Rect c = desktop.x().Geometry(window).value_or(Rect{});
    X observer(desktop.Display());
    Refreshes refreshes(observer, window);
    // The first frames come before the program has measured the refresh
    // rate, and tick at every refresh until it has (a few refreshes).
    refreshes.Now(refreshes.Now() + kSettleRefreshes);
    refreshes.frames.clear();
    auto readings = ReadEveryRefresh(observer, refreshes, {c.x + c.width / 2 - kStripWidth / 2, c.y, kStripWidth, c.height}, hz);
    const Cadence cadence = Judge(readings, refreshes.frames, perTick);
    ASSERT_GE(cadence.judged, 100) << "too few refreshes read in time";
    EXPECT_GE(cadence.oneStep, 0.99 * cadence.judged);
    EXPECT_EQ(cadence.jumps, 0);
    // One frame a tick: counted from the server's own reports, so a busy
    // machine's late copies do not count against it.
    EXPECT_GE(cadence.withOneFrame, 0.95 * cadence.spans);
    EXPECT_EQ(cadence.framesTooClose, 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, Pacing, ::testing::Values(std::pair{60, 1}, std::pair{75, 1}, std::pair{144, 2}),
                         [](const auto& info) { return std::to_string(info.param.first) + "Hz"; });

} // namespace
} // namespace desktop
