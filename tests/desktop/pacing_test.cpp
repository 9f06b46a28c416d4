// How evenly the credits move on the real window, refresh by refresh, on
// displays of 60, 75 and 144 Hz: an observer of its own asks the X server's
// Present extension to report every refresh of the program's window, reads
// a narrow strip down the middle of the window right after each one, and
// finds how far the lines of white text moved since the refresh before.
// It judges timing, so it runs alone.

#include "desktop.h"

#include <poll.h>
#include <xcb/present.h>

namespace desktop {
namespace {

constexpr int kStripWidth = 48;        // pixels, centred on the window
constexpr int kMostShift = 8;          // pixels a refresh, searched for
constexpr auto kObserved = Ms(10000);  // per rate
// Xvfb keeps a timer of whole milliseconds for each request waiting on a
// refresh, so the program's frame may land a millisecond after the report
// of the same refresh: the strip is read this far into the refresh period.
// The next refresh is asked for before that: Xvfb counts a refresh from
// halfway to it, so a request made late in a period would be answered at
// once, a refresh early.
constexpr double kCaptureDelay = 0.4;

// Per row of a strip, which of its pixels are pure white: the text's core,
// the same wherever the text stands over whichever rings.
using WhiteMask = std::vector<std::vector<bool>>;
WhiteMask WhiteOf(const Image& image) {
    WhiteMask rows(image.height, std::vector<bool>(image.width));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) rows[y][x] = IsWhite(image.At(x, y));
    return rows;
}

// How many pixels the text moved up from `earlier` to `later`: the shift
// that maps every row with white onto the same pattern, if exactly one
// does; none when the strip holds too little text to tell.
std::optional<int> UpwardShift(const WhiteMask& earlier, const WhiteMask& later) {
    const int height = static_cast<int>(earlier.size());
    std::optional<int> found;
    for (int shift = 0; shift <= kMostShift; ++shift) {
        int mismatched = 0, white = 0;
        for (int y = shift; y < height; ++y) {
            mismatched += earlier[y] != later[y - shift];
            white += std::count(earlier[y].begin(), earlier[y].end(), true);
        }
        if (white < 200) return std::nullopt;
        if (mismatched == 0) {
            if (found) return std::nullopt;
            found = shift;
        }
    }
    return found;
}

// Present's reports for the program's window, on the observer's own
// connection: those of its own waits, told apart by their serial, and
// those of the program's frames, each with the refresh it was shown at.
class RefreshWatch {
public:
    RefreshWatch(X& x, xcb_window_t window) : m_x(x), m_window(window) {
        m_eventId = xcb_generate_id(x.get());
        m_serial = m_eventId;
        xcb_present_select_input(x.get(), m_eventId, window, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
        m_presentOpcode = xcb_get_extension_data(x.get(), &xcb_present_id)->major_opcode;
    }
    // Asks for the report of refresh `msc` (0: the current one), which
    // comes at once, for the current one, when `msc` has passed already.
    void Ask(uint64_t msc) {
        xcb_present_notify_msc(m_x.get(), m_window, ++m_serial, msc, 0, 0);
        xcb_flush(m_x.get());
    }
    struct Report {
        uint64_t msc = 0, ustUs = 0;
    };
    // Waits for the report asked for last.
    std::optional<Report> Wait() {
        pollfd fd{xcb_get_file_descriptor(m_x.get()), POLLIN, 0};
        for (const auto deadline = Clock::now() + Ms(1000); Clock::now() < deadline; ::poll(&fd, 1, 5)) {
            while (auto event = Owned(xcb_poll_for_event(m_x.get()))) {
                const auto* complete = reinterpret_cast<xcb_present_complete_notify_event_t*>(event.get());
                if ((event->response_type & 0x7f) != XCB_GE_GENERIC || complete->extension != m_presentOpcode ||
                    complete->event_type != XCB_PRESENT_EVENT_COMPLETE_NOTIFY || complete->event != m_eventId)
                    continue;
                if (complete->kind == XCB_PRESENT_COMPLETE_KIND_PIXMAP) frames[complete->msc] = complete->ust;
                else if (complete->serial == m_serial) return Report{complete->msc, complete->ust};
            }
        }
        return std::nullopt;
    }
    // The program's frames: the refresh each was shown at, and when the
    // server copied it (microseconds on the monotonic clock).
    std::map<uint64_t, uint64_t> frames;

private:
    X& m_x;
    xcb_window_t m_window;
    uint32_t m_eventId = 0, m_serial = 0;
    uint8_t m_presentOpcode = 0;
};

// What the observer saw, counted over spans of one tick's refreshes whose
// both ends it read in time.
struct Cadence {
    int spans = 0;       // read in time
    int withOneFrame = 0; // spans read in which the program showed exactly one frame
    int lateFrames = 0;  // of those, not judged: the server copied a frame after its refresh was read
    int spansOneStep = 0;
    int judged = 0;      // of those, spans in which the program showed one frame
    int oneStep = 0;     // of the judged, the text moved exactly one pixel
    int jumps = 0;       // single refreshes in which it moved two or more
    int framesTooClose = 0; // frames shown fewer refreshes apart than a tick
    std::map<int, int> shifts; // over all spans, for messages
};

uint64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

// Watches the program for a while, one refresh at a time. A reading counts
// only if its answer was in before the next refresh was reported, and if it
// saw the frame shown at its refresh and no other (on a busy machine Xvfb
// may copy a frame some milliseconds late). A span counts against the
// program only if it showed one frame in it: on a busy machine it may miss
// a refresh, and must then show the same frame one refresh longer, never
// more than one step at once.
Cadence Observe(X& x, xcb_window_t window, const Rect& client, int hz, int refreshesPerStep) {
    RefreshWatch refreshes(x, window);
    const Rect strip{client.x + client.width / 2 - kStripWidth / 2, client.y, kStripWidth, client.height};
    struct Reading {
        WhiteMask white;
        uint64_t fromUs = 0, toUs = 0; // asked for, and its answer in
    };
    std::map<uint64_t, Reading> readings; // by refresh, those taken in time
    refreshes.Ask(0);
    auto report = refreshes.Wait();
    for (const auto end = Clock::now() + kObserved; report && Clock::now() < end;) {
        // The next refresh is asked for first, before it can have come.
        refreshes.Ask(report->msc + 1);
        std::this_thread::sleep_for(std::chrono::duration<double>(kCaptureDelay / hz));
        Reading reading{{}, NowUs(), 0};
        reading.white = WhiteOf(x.Capture(strip));
        reading.toUs = NowUs();
        const auto next = refreshes.Wait();
        if (next && next->msc == report->msc + 1 && next->ustUs > reading.toUs)
            readings[report->msc] = std::move(reading);
        report = next;
    }
    const auto& frames = refreshes.frames;
    // Whether the reading at refresh `at` saw the frame shown at that
    // refresh and no other: it was copied before the reading was asked for,
    // and the next one after its answer was in.
    auto settled = [&](uint64_t at) {
        const auto next = frames.upper_bound(at);
        return (next == frames.begin() || std::prev(next)->second < readings[at].fromUs) &&
               (next == frames.end() || next->second > readings[at].toUs);
    };
    Cadence cadence;
    for (const auto& [at, reading] : readings) {
        if (readings.contains(at + 1) && settled(at) && settled(at + 1)) {
            const auto shift = UpwardShift(reading.white, readings[at + 1].white);
            cadence.jumps += shift && *shift >= 2;
        }
        if (!readings.contains(at + refreshesPerStep)) continue;
        const auto shift = UpwardShift(reading.white, readings[at + refreshesPerStep].white);
        if (!shift) continue;
        ++cadence.spans;
        cadence.spansOneStep += *shift == 1;
        ++cadence.shifts[*shift];
        if (std::distance(frames.upper_bound(at), frames.upper_bound(at + refreshesPerStep)) != 1) continue;
        ++cadence.withOneFrame;
        if (!settled(at) || !settled(at + refreshesPerStep)) {
            ++cadence.lateFrames;
            continue;
        }
        ++cadence.judged;
        cadence.oneStep += *shift == 1;
    }
    for (auto frame = frames.begin(); frame != frames.end(); ++frame)
        if (auto next = std::next(frame); next != frames.end())
            cadence.framesTooClose += next->first - frame->first < uint64_t(refreshesPerStep);
    return cadence;
}

std::string Describe(const Cadence& cadence) {
    std::ostringstream text;
    text << cadence.spansOneStep << " of " << cadence.spans << " spans read moved one pixel (";
    for (const auto& [shift, count] : cadence.shifts) text << shift << " px: " << count << "; ";
    text << "); " << cadence.withOneFrame << " with one frame of the program's, " << cadence.lateFrames
         << " of them with a frame the server copied late; of the " << cadence.judged << " in which the program showed one frame, " << cadence.oneStep
         << "; " << cadence.jumps << " refreshes moved two or more; " << cadence.framesTooClose
         << " frames came less than a tick apart";
    return text.str();
}

class Pacing : public ::testing::TestWithParam<std::pair<int, int>> {};

// At 60 and 75 Hz one pixel every refresh; at 144 Hz one pixel every second
// refresh, so the speed stays near 60 pixels a second.
TEST_P(Pacing, TextMovesOnePixelPerTickLockedToTheDisplay) {
    const auto [hz, refreshesPerStep] = GetParam();
    Desktop desktop(Openbox(), {"-fakescreenfps", std::to_string(hz)});
    Program program(desktop);
    const auto window = program.WaitForMainWindow();
    ASSERT_TRUE(window) << "no main window; stderr:\n" << program.Stderr();
    const Rect client = desktop.x().Geometry(*window).value_or(Rect{});
    X observer(desktop.display());
    const Cadence cadence = Observe(observer, *window, client, hz, refreshesPerStep);
    std::printf("%d Hz: %s\n", hz, Describe(cadence).c_str());
    ASSERT_GE(cadence.judged, 100) << "too few refreshes read in time: " << Describe(cadence);
    EXPECT_GE(cadence.oneStep, 0.99 * cadence.judged) << Describe(cadence);
    EXPECT_EQ(cadence.jumps, 0) << Describe(cadence);
    // One frame a tick: counted from the server's own reports, so a busy
    // machine's late copies do not count against it.
    EXPECT_GE(cadence.withOneFrame, 0.95 * cadence.spans) << Describe(cadence);
    EXPECT_EQ(cadence.framesTooClose, 0) << Describe(cadence);
    EXPECT_TRUE(program.process().Running());
}

INSTANTIATE_TEST_SUITE_P(Rates, Pacing, ::testing::Values(std::pair{60, 1}, std::pair{75, 1}, std::pair{144, 2}),
                         [](const auto& info) { return std::to_string(info.param.first) + "Hz"; });

} // namespace
} // namespace desktop
