// The program's window as a person meets it, from one plain start on one
// desktop: how it comes up, what kind of window it is and where it sits, the
// hidden pointer, the rings and the rolling text, the sound, and the window
// manager's close. Then a start with arguments on the same desktop, which
// must come up the same and end on SIGTERM. The tests run in the order
// written, each going on from where the one before left the program. Last,
// where the frame sits on other desktops, one start each.

#include "desktop.h"

namespace desktop {
namespace {

struct Startup {
    std::vector<xcb_window_t> shown; // the program's windows in the order they were mapped
    xcb_window_t main = 0;           // mapped last and still mapped
    std::vector<std::pair<double, Strip>> samples;   // its client area, from its mapping to the first frame
    std::string changes;                             // in those, for messages
    std::optional<double> firstFrameMs, firstTextMs; // from exec
    int textRowsAboveBottom = -1;                    // where the first text showed
};

// Follows the start-up until the first text comes into view. `watcher`
// listens to the root's children from before the program starts, so no
// mapping is missed however brief; the client area is sampled by tight
// polling, which on a busy machine may miss a short-lived state.
Startup FollowStartup(X& watcher, Child& program) {
    Startup s;
    std::map<xcb_window_t, xcb_window_t> clientOf; // a window manager's frame -> its client
    xcb_window_t frame = 0;
    for (const auto deadline = Clock::now() + Ms(20000); !s.firstTextMs && Clock::now() < deadline;) {
        while (auto event = Owned(xcb_poll_for_event(watcher.get()))) {
            const int type = event->response_type & 0x7f;
            const auto* reparent = reinterpret_cast<xcb_reparent_notify_event_t*>(event.get());
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
            const auto* unmap = reinterpret_cast<xcb_unmap_notify_event_t*>(event.get());
            if (type == XCB_REPARENT_NOTIFY) clientOf[reparent->parent] = reparent->window;
            if (type == XCB_UNMAP_NOTIFY && unmap->window == frame) s.main = frame = 0;
            if (type != XCB_MAP_NOTIFY) continue;
            const xcb_window_t window = clientOf.contains(map->window) ? clientOf[map->window] : map->window;
            if (window == s.main || watcher.Pid(window) != program.pid()) continue;
            if (!std::count(s.shown.begin(), s.shown.end(), window)) // samples of the latest window only
                s.shown.push_back(window), s.samples.clear(), s.changes.clear(), s.firstFrameMs.reset();
            s.main = window, frame = map->window;
        }
        const auto client = s.main ? watcher.Geometry(s.main) : std::nullopt;
        const double now = MsSince(program.startedAt());
        if (client && !s.firstFrameMs) {
            const Strip state = Classify(watcher.Capture(SampleStrip(*client)).pixels);
            if (s.samples.empty() || state != s.samples.back().second)
                s.changes += std::to_string(int(now)) + " ms " + Name(state) + "; ";
            s.samples.emplace_back(now, state);
            if (state == Strip::Rings) s.firstFrameMs = now;
        } else if (client) { // the first text, watched for in the bottom rows
            const Image band = watcher.Capture({client->x, client->y + client->height - 120, client->width, 120});
            const auto white = std::find_if(band.pixels.begin(), band.pixels.end(), IsWhite);
            if (white != band.pixels.end()) {
                s.firstTextMs = now;
                s.textRowsAboveBottom = band.height - int(white - band.pixels.begin()) / band.width;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return s;
}

// Pixels within 6 (in x and in y) of pure white: the text and its
// antialiased edge.
std::vector<bool> NearText(const Image& image) {
    std::vector<bool> near(image.pixels.size(), false);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (!IsWhite(image.At(x, y))) continue;
            const int left = std::max(0, x - 6), right = std::min(image.width - 1, x + 6);
            for (int row = std::max(0, y - 6); row <= std::min(image.height - 1, y + 6); ++row)
                std::fill_n(near.begin() + row * image.width + left, right - left + 1, true);
        }
    return near;
}

// Rows at the top and bottom where a line coming into view or going out of
// it may show its antialiased edge without its white core.
constexpr int kEdgeRows = 8;

// Pixels neither in a ring colour nor part of the text, away from the top
// and bottom edges: "" when there are none.
std::string StrayPixels(const Image& image) {
    const std::vector<bool> text = NearText(image);
    size_t count = 0;
    char first[64] = "";
    for (int y = kEdgeRows; y < image.height - kEdgeRows; ++y)
        for (int x = 0; x < image.width; ++x)
            if (!IsRingColour(image.At(x, y)) && !text[y * image.width + x] && count++ == 0)
                std::snprintf(first, sizeof first, "#%06x at %d,%d", image.At(x, y), x, y);
    return count == 0 ? "" : std::to_string(count) + " stray pixels, the first " + first;
}

// How well the picture mirrors itself left to right (`acrossWidth`) or top
// to bottom through a line within a pixel of its middle, along its middle
// row or column and leaving out the text: the fraction of pixel pairs alike
// for the best such line.
double Mirror(const Image& image, bool acrossWidth) {
    const std::vector<bool> text = NearText(image);
    const int length = acrossWidth ? image.width : image.height;
    auto at = [&](int i) {
        const int x = acrossWidth ? i : image.width / 2, y = acrossWidth ? image.height / 2 : i;
        return text[y * image.width + x] ? std::optional<uint32_t>() : image.At(x, y);
    };
    double best = 0;
    for (int sum = length - 3; sum <= length + 1; ++sum) { // pixels i and sum - i mirror about (sum + 1) / 2
        size_t compared = 0, alike = 0;
        for (int i = sum / 2 + 1; i < length && sum - i >= 0; ++i)
            if (at(i) && at(sum - i)) ++compared, alike += at(i) == at(sum - i);
        best = std::max(best, compared > 0 ? double(alike) / compared : 0.0);
    }
    return best;
}

// The white pixels of every row: a profile that moves with the text.
std::vector<int> WhiteRows(const Image& image) {
    std::vector<int> rows(image.height);
    for (int y = 0; y < image.height; ++y) rows[y] = std::count_if(image.Row(y), image.Row(y + 1), IsWhite);
    return rows;
}

struct TextLine {
    int top = 0, rows = 0;
    int white = 0, edge = 0; // pure white; brighter than a ring but not white
    int medianRun = 0;       // of horizontal runs of pure white
    double inkCentre = 0;    // halfway between the outermost columns of pure white
};

// The lines of text clear of the top and bottom edges: bands of rows with
// pure white.
std::vector<TextLine> WholeTextLines(const Image& image) {
    const std::vector<int> rows = WhiteRows(image);
    std::vector<TextLine> lines;
    for (int top = 0, y = 0; y < image.height; ++y) {
        if (rows[y] == 0) top = y + 1;
        if (rows[y] == 0 || (y + 1 < image.height && rows[y + 1] > 0)) continue; // not a band's last row
        if (top < kEdgeRows || y >= image.height - kEdgeRows) continue;
        TextLine line{top, y - top + 1};
        std::vector<int> runs;
        int left = image.width, right = 0;
        for (int row = top; row <= y; ++row)
            for (int x = 0, run = 0; x < image.width; ++x) {
                const uint32_t pixel = image.At(x, row);
                if (IsWhite(pixel)) ++line.white, ++run, left = std::min(left, x), right = std::max(right, x);
                else line.edge += Red(pixel) > 40 && Green(pixel) > 15;
                if (run > 0 && (!IsWhite(pixel) || x + 1 == image.width)) runs.push_back(run), run = 0;
            }
        std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
        line.medianRun = runs[runs.size() / 2];
        line.inkCentre = (left + right) / 2.0;
        lines.push_back(line);
    }
    return lines;
}

// The upward shift (up to 40 rows) that best maps one profile onto the next.
int UpwardShift(const std::vector<int>& earlier, const std::vector<int>& later) {
    std::vector<double> costs;
    for (size_t shift = 0; shift <= 40; ++shift) {
        double cost = 0;
        for (size_t y = shift; y < earlier.size(); ++y) cost += std::abs(earlier[y] - later[y - shift]);
        costs.push_back(cost / double(earlier.size() - shift));
    }
    return std::min_element(costs.begin(), costs.end()) - costs.begin();
}

// What a person sees of the window, without the changing picture.
std::vector<std::string> Look(X& x, xcb_window_t window) {
    auto look = x.AtomNames(window, "_NET_WM_STATE");
    std::sort(look.begin(), look.end());
    for (const std::string& type : x.AtomNames(window, "_NET_WM_WINDOW_TYPE")) look.push_back(type);
    for (uint32_t value : x.Property32(window, "_MOTIF_WM_HINTS").value_or(std::vector<uint32_t>{}))
        look.push_back(std::to_string(value));
    return look;
}

// Ends the program with `end`: a prompt exit with status 0, having written
// sound in real time from start-up to the end and none after.
void ExpectCleanEndAndSilence(X& x, Program& program, const std::function<void()>& end) {
    program.ExpectPromptCleanExit(end);
    const double lived = MsSince(program.process().startedAt()) / 1000.0, written = program.AudioSeconds();
    EXPECT_TRUE(written >= 0.5 * lived - 0.5 && written <= 1.2 * lived + 0.5)
        << written << " s of sound in " << lived << " s";
    Sleep(Ms(600));
    EXPECT_EQ(program.AudioSeconds(), written) << "sound was still written after the end";
    EXPECT_TRUE(x.ClientList().empty()) << x.DescribeWindows();
}

// One desktop and one plain start of the program for all the tests.
struct Session {
    Desktop desktop;
    X& x = desktop.x();
    X watcher{desktop.display()};
    std::optional<Program> program;
    Startup startup;
    xcb_window_t window = 0;
    Rect client;
    std::vector<std::string> look; // of the plain start, for the start with arguments

    Session() {
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(watcher.get(), watcher.root(), XCB_CW_EVENT_MASK, &mask);
        watcher.Exists(watcher.root()); // a round trip: listening from here on
        program.emplace(desktop);
        startup = FollowStartup(watcher, program->process());
        window = program->WaitForMainWindow(Ms(10000)).value_or(0);
        client = x.Geometry(window).value_or(Rect{});
        look = Look(x, window);
    }
};

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s = std::make_unique<Session>(); } // gtest reports what it throws
    static void TearDownTestSuite() { s.reset(); }
    void SetUp() override {
        ASSERT_TRUE(s) << "the desktop did not start";
        ASSERT_NE(s->window, 0u) << "no tool window showing the rings; " << s->x.DescribeWindows() << "; stderr:\n"
                                 << s->program->Stderr();
    }
    static inline std::unique_ptr<Session> s;
};

TEST_F(MainWindow, ShowsTheSceneBrieflyThenNavyThenRingsThenTextFromTheBottom) {
    const Startup& startup = s->startup;
    ASSERT_TRUE(startup.firstFrameMs) << "the client area never showed the rings";
    EXPECT_EQ(startup.main, s->window) << "the window that showed the rings is not the one that stayed";

    // The scene is a window of its own, shown first and withdrawn for good
    // before the main window comes up.
    ASSERT_GE(startup.shown.size(), 2u) << "the scene window was not shown before the main window";
    const xcb_window_t scene = startup.shown.front();
    EXPECT_EQ(startup.shown.back(), s->window);
    EXPECT_EQ(s->x.Title(scene), kTitle);
    EXPECT_TRUE(s->x.Exists(scene) && !s->x.Viewable(scene)) << "the scene window is gone or on screen";
    EXPECT_EQ(s->x.ClientList(), std::vector<xcb_window_t>{s->window}) << "the scene is still managed; "
                                                                      << s->x.DescribeWindows();

    // Navy before the first frame. The sampling may miss a short moment on a
    // busy machine, but a window is unpainted only while it is first drawn:
    // seen unpainted for long, it was never painted navy.
    const auto& samples = startup.samples;
    std::vector<double> unpainted;
    for (const auto& [ms, state] : samples)
        if (state == Strip::Unpainted) unpainted.push_back(ms);
    if (std::none_of(samples.begin(), samples.end(), [](auto& sample) { return sample.second == Strip::Navy; })) {
        EXPECT_FALSE(unpainted.size() >= 10 && unpainted.back() - unpainted.front() >= 50.0)
            << "not painted navy before the first frame: " << startup.changes;
        std::printf("note: navy before the first frame not caught: %s\n", startup.changes.c_str());
    }

    // The first line starts 32 pixels below the bottom edge and rises one
    // pixel per refresh: in view no sooner than about half a second later.
    ASSERT_TRUE(startup.firstTextMs) << "no text reached the bottom rows of the client area";
    EXPECT_LE(startup.textRowsAboveBottom, 40) << "the first text showed up away from the bottom edge";
    EXPECT_GE(*startup.firstTextMs - *startup.firstFrameMs, 300.0)
        << "first frame at " << *startup.firstFrameMs << " ms, first text at " << *startup.firstTextMs << " ms";
}

// (Its title and its kind, a tool window, are how WaitForMainWindow found it.)
TEST_F(MainWindow, IsOneToolWindowThatMayOnlyBeMovedAndClosedFillingTheWorkArea) {
    X& x = s->x;
    // Functions and decorations given; move and close; border, title bar
    // and window menu.
    EXPECT_EQ(x.Property32(s->window, "_MOTIF_WM_HINTS"), (std::vector<uint32_t>{0x3, 0x24, 0x1a, 0, 0}));
    const auto states = x.AtomNames(s->window, "_NET_WM_STATE");
    EXPECT_TRUE(std::count(states.begin(), states.end(), "_NET_WM_STATE_SKIP_TASKBAR")) << "listed in a taskbar";

    // Nothing of the program's on screen outside the window manager's frames
    // (and, as seen above, nothing else managed).
    for (xcb_window_t child : x.Children(x.root()))
        EXPECT_FALSE(x.Pid(child) == s->program->process().pid() && x.Viewable(child)) << "unmanaged window " << child;

    // The frame, title bar and all, fills the work area.
    const auto extents = x.Property32(s->window, "_NET_FRAME_EXTENTS"); // left, right, top, bottom
    const auto area = x.Property32(x.root(), "_NET_WORKAREA");
    ASSERT_TRUE(extents && extents->size() == 4 && area && area->size() >= 4);
    const int left = (*extents)[0], right = (*extents)[1], top = (*extents)[2], bottom = (*extents)[3];
    const Rect& client = s->client;
    const Rect frame{client.x - left, client.y - top, client.width + left + right, client.height + top + bottom};
    EXPECT_EQ(frame, (Rect{int((*area)[0]), int((*area)[1]), int((*area)[2]), int((*area)[3])}));
}

TEST_F(MainWindow, HidesThePointerOverItsClientAreaOnly) {
    auto visibleAt = [](int px, int py) {
        EXPECT_TRUE(s->desktop.Tool({"xdotool", "mousemove", std::to_string(px), std::to_string(py)}));
        Sleep(Ms(300)); // the server switches cursors as the pointer crosses windows
        return s->x.CursorVisible();
    };
    // Over the title bar the window manager's cursor shows: a visible cursor
    // is seen as one.
    const Rect& c = s->client;
    const auto extents = s->x.Property32(s->window, "_NET_FRAME_EXTENTS");
    ASSERT_TRUE(extents && extents->size() == 4);
    if ((*extents)[2] >= 4) {
        EXPECT_EQ(visibleAt(c.x + c.width / 3, c.y - int((*extents)[2]) / 2), true);
    }
    for (const auto& [px, py] : {std::pair{c.x + c.width / 2, c.y + c.height / 2}, std::pair{c.x + 5, c.y + 5},
                                 std::pair{c.x + c.width - 6, c.y + c.height - 6}})
        EXPECT_EQ(visibleAt(px, py), false) << "a visible cursor over the client area at " << px << "," << py;
}

TEST_F(MainWindow, ShowsDarkConcentricRingsUnderCentredBoldWhiteTextRisingOnePixelPerRefresh) {
    const Rect& client = s->client;
    const Image image = s->x.Capture(client);
    ASSERT_EQ(image.width, client.width);
    // Nothing but ring colours (red at most 40, green at most 15) and the
    // white text with its antialiased edge.
    EXPECT_EQ(StrayPixels(image), "");
    // A thousand random rings, not a flat fill.
    EXPECT_GE(std::set<uint32_t>(image.Row(image.height / 2), image.Row(image.height / 2 + 1)).size(), 100u);
    // Rings share the client area's centre: the picture mirrors through it.
    EXPECT_GE(Mirror(image, true), 0.95);
    EXPECT_GE(Mirror(image, false), 0.95);

    std::vector<TextLine> lines;
    WaitUntil([&] { return (lines = WholeTextLines(s->x.Capture(client))).size() >= 2; }, Ms(15000), Ms(200));
    ASSERT_GE(lines.size(), 2u) << "fewer than two whole text lines on screen";
    for (const TextLine& line : lines) {
        SCOPED_TRACE("text line at row " + std::to_string(line.top));
        // 48 points at 96 dots per inch: 64 pixels to the em.
        EXPECT_GE(line.rows, 30);
        EXPECT_LE(line.rows, 80);
        // Pure white strokes, antialiased at their edges.
        EXPECT_GE(line.white, 500);
        EXPECT_GE(line.edge, 100);
        // Bold: about 8 pixels of pure white across (regular at most 6).
        EXPECT_GE(line.medianRun, 7);
        // Centred by its advance width: the ink may sit off by its side
        // bearings, up to 3 pixels.
        EXPECT_NEAR(line.inkCentre, client.width / 2.0, 3.5);
    }

    // Lines are 64 pixels or more apart and a quarter of a second moves the
    // roll by about 15, so the best match is never a line off.
    const Rect band{client.x + client.width / 2 - 450, client.y, 900, client.height};
    std::vector<double> speeds;
    for (int pair = 0; pair < 5; ++pair) {
        const auto before = Clock::now();
        const auto first = WhiteRows(s->x.Capture(band));
        Sleep(Ms(250));
        const double seconds = MsSince(before) / 1000.0; // the two captures take alike: their times cancel
        const auto second = WhiteRows(s->x.Capture(band));
        if (second.size() == first.size() && std::count(first.begin(), first.end(), 0) < int(first.size()))
            speeds.push_back(UpwardShift(first, second) / seconds);
    }
    ASSERT_GE(speeds.size(), 3u) << "too little text on screen to follow";
    std::sort(speeds.begin(), speeds.end());
    // Xvfb refreshes 60 times a second; a busy machine may drop a frame now
    // and then, but the text never moves more than a pixel per refresh.
    EXPECT_GE(speeds[speeds.size() / 2], 45.0);
    EXPECT_LE(speeds[speeds.size() / 2], 68.0);
}

TEST_F(MainWindow, PlaysItsTrackFromStartUp) {
    const double before = s->program->AudioSeconds();
    Sleep(Ms(400));
    EXPECT_GT(s->program->AudioSeconds(), before) << "the sound output stopped";
    const std::vector<int> levels = AudioLevels(s->program->audioPath());
    const auto audible = std::find_if(levels.begin(), levels.end(), [](int level) { return level > 256; });
    ASSERT_NE(audible, levels.end()) << "nothing audible in the sound written so far";
    EXPECT_LE(double(audible - levels.begin()) / kAudioRate, 1.5) << "the track did not start with the program";
    EXPECT_GT(*std::max_element(levels.begin(), levels.end()), 2000);
}

TEST_F(MainWindow, WindowManagersCloseEndsItWithStatusZeroAndItsSound) {
    ASSERT_TRUE(s->program->process().Running()) << s->program->process().status()->Describe();
    ExpectCleanEndAndSilence(s->x, *s->program, [] { ASSERT_TRUE(s->program->Close(s->window)); });
}

TEST_F(MainWindow, ArgumentsChangeNothingAndSigtermEndsItWithStatusZero) {
    s->program->process().Kill(); // ended by now, unless the tests before were left out
    ASSERT_TRUE(WaitUntil([] { return s->x.ClientList().empty(); }, Ms(5000))) << s->x.DescribeWindows();
    // Options Qt would take for its own (another platform), one that asks
    // for help, and a stray word.
    Program program(s->desktop, {ProgramPath().string(), "--help", "-platform", "offscreen", "foo"});
    const auto window = program.WaitForMainWindow();
    ASSERT_TRUE(window) << "no window on the X display; stderr:\n" << program.Stderr();
    EXPECT_EQ(Look(s->x, *window), s->look);
    // A pixel either way is not what arguments would change.
    const Rect now = s->x.Geometry(*window).value_or(Rect{}), was = s->client;
    EXPECT_NEAR(now.x, was.x, 2);
    EXPECT_NEAR(now.y, was.y, 2);
    EXPECT_NEAR(now.width, was.width, 4);
    EXPECT_NEAR(now.height, was.height, 4);
    EXPECT_TRUE(WaitUntil([&] { return !WholeTextLines(s->x.Capture(now)).empty(); }, Ms(10000))) << "no text";
    const Image image = s->x.Capture(now);
    EXPECT_GE(Mirror(image, true), 0.9);
    EXPECT_EQ(StrayPixels(image), "");

    ExpectCleanEndAndSilence(s->x, program, [&] { program.process().Signal(SIGTERM); });
    EXPECT_EQ(program.Stdout(), s->program->Stdout());
}


// How far the frame's edges are from the work area's, at most: 0 when it
// covers it exactly.
int EdgeDistance(const Rect& frame, const Rect& area) {
    return std::max({std::abs(frame.x - area.x), std::abs(frame.y - area.y),
                     std::abs(frame.x + frame.width - area.x - area.width),
                     std::abs(frame.y + frame.height - area.y - area.height)});
}

// Waits until the program's frame covers the work area within 2 pixels,
// then checks it and notes both rectangles.
void ExpectFrameCoversWorkArea(X& x, xcb_window_t window, const std::string& setUp) {
    Rect frame, area;
    WaitUntil([&] { return EdgeDistance(frame = x.Frame(window).value_or(Rect{}), area = x.WorkArea()) <= 2; },
              Ms(5000));
    EXPECT_LE(EdgeDistance(frame, area), 2) << "frame " << ::testing::PrintToString(frame) << ", work area "
                                            << ::testing::PrintToString(area);
    std::printf("placement on %s: frame %s, work area %s\n", setUp.c_str(), ::testing::PrintToString(frame).c_str(),
                ::testing::PrintToString(area).c_str());
}

struct PlacementSetUp {
    WindowManager manager;
    const char* ratio;      // QT_SCALE_FACTOR
    bool panelLater = false; // a panel starts while the program runs
};

// The frame, title bar and all, covers the work area under window managers
// that maximize a fixed-size window and under those that do not, at
// device-pixel ratios whose pixels do not map one to one, and again once a
// panel appearing has shrunk the work area. One program start each.
TEST(WorkArea, TheFrameCoversItUnderEachWindowManagerAndRatioAndFollowsIt) {
    const std::vector<PlacementSetUp> setUps = {{IceWm(), "1"},
                                                {Xfwm4WithPanel(), "1"},
                                                {Fluxbox(), "1.5"},
                                                {NoWindowManager(), "2"},
                                                {Openbox(), "2", true}};
    for (const PlacementSetUp& setUp : setUps) {
        const std::string name = setUp.manager.name + " at ratio " + setUp.ratio;
        SCOPED_TRACE(name);
        Desktop desktop(setUp.manager);
        Program program(desktop, {ProgramPath().string()}, {{"QT_SCALE_FACTOR", setUp.ratio}});
        const auto window = program.WaitForMainWindow();
        if (!window) {
            ADD_FAILURE() << "no window showing the rings; " << desktop.x().DescribeWindows() << "; stderr:\n"
                          << program.Stderr();
            continue;
        }
        ExpectFrameCoversWorkArea(desktop.x(), *window, name);
        if (!setUp.panelLater) continue;
        Child panel = desktop.StartPanel();
        EXPECT_TRUE(WaitUntil([&] { return desktop.x().WorkArea().height < kScreenHeight; }, Ms(10000)))
            << "the panel did not shrink the work area";
        ExpectFrameCoversWorkArea(desktop.x(), *window, name + " with a panel started");
    }
}

} // namespace
} // namespace desktop
